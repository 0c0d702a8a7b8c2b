import pytest

from conftest import run_program

BANNER = "Orvanta Image Archiver, Version 4.2.1.16.3.1\n"
FAILURE = ("\n\nProgram parameters can not be identified.\n"
           "There were fatal SYSTEM errors in the imaging process.\n")


def command_error(index, arg):
    return f"Error in {index}-th argument : the command {arg} is not supported."


def detail_error(index, arg):
    return (f"Error in {index}-th argument : the detail option {arg} "
            "is not supported.")


def switch_error(index, arg):
    return f"Error in {index}-th argument : the switch {arg} is not supported."


def source_error(index, arg):
    return (f"Error in {index}-th argument : the source drive name {arg} "
            "is not allowed in the extraction mode.")


CASES = [
    ([], ""),
    (["A"], command_error(1, "A")),
    (["ax"], command_error(1, "ax")),
    (["-a"], command_error(1, "-a")),
    (["a", "img.tav", "src", "-mX"], detail_error(4, "-mX")),
    (["a", "img.tav", "-mx5", "-Mx5"], switch_error(4, "-Mx5")),
    (["a", "img.tav", "-x!*.tmp", "-x*.tmp"], detail_error(4, "-x*.tmp")),
    (["a", "img.tav", "-"], switch_error(3, "-")),
    (["a", "img.tav", "src", "-q"], switch_error(4, "-q")),
    (["x", "img.tav", "src"], source_error(3, "src")),
    (["x", "img.tav", "/oC:\\t"], source_error(3, "/oC:\\t")),
    (["x", "img.tav", "-oC:\\t", "extra"], source_error(4, "extra")),
]


@pytest.mark.parametrize('args, error', CASES,
                         ids=[' '.join(a) or '(none)' for a, _ in CASES])
def test_rejected_command_line(tmp_path, args, error):
    done = run_program('OrvaImage.exe', *args, cwd=tmp_path)
    expected = (BANNER + error + "\n" + FAILURE).replace("\n", "\r\n")
    assert done.stdout.decode('latin-1') == expected
    assert done.returncode == 0
    assert not any(tmp_path.iterdir()), "a refused run left files behind"
