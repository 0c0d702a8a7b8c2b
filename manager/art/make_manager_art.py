"""Draws the manager's own icons with the skin's painter and writes
manager_art.rc beside them."""
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'uikit', 'art'))
import make_skin_art as art  # noqa: E402

BLUE, GREEN, RED, ORANGE, VIOLET, TEAL, GREY, GOLD = (
    (0x2F, 0x6F, 0xD0), (0x2E, 0x9E, 0x5B), (0xD6, 0x45, 0x3D), (0xE0, 0x8A, 0x1E),
    (0x7B, 0x5C, 0xC9), (0x1E, 0x9C, 0xA8), (0x8A, 0x95, 0xA3), (0xD9, 0x9A, 0x1B))

ICONS = {
    128: (BLUE, 'disk'),      # the program
    178: (BLUE, 'info'),      # message boxes
    # main image list
    129: (GREY, 'disk'), 141: (BLUE, 'disk'), 142: (GREEN, 'play'), 140: (RED, 'cross'),
    146: (TEAL, 'right'), 145: (ORANGE, 'bolt'), 147: (VIOLET, 'clock'), 149: (GREEN, 'bolt'),
    161: (ORANGE, 'info'), 175: (GOLD, 'folder'), 176: (VIOLET, 'clock'), 153: (TEAL, 'list'),
    177: (GREY, 'list'), 183: (TEAL, 'left'), 182: (TEAL, 'right'), 187: (BLUE, 'sliders'),
    184: (TEAL, 'sliders'), 185: (GREY, 'info'),
    # history
    154: (GREEN, 'check'), 155: (RED, 'cross'),
    # menus
    167: (TEAL, 'plus'), 168: (GOLD, 'folder'), 169: (BLUE, 'plus'), 174: (GREEN, 'play'),
    173: (VIOLET, 'sliders'), 171: (GREY, 'cross'), 172: (ORANGE, 'cross'), 170: (RED, 'cross'),
    181: (BLUE, 'disk'), 188: (TEAL, 'play'), 186: (TEAL, 'sliders'), 196: (GREY, 'list'),
}


def banner():
    """The top strip of the repository, replication set and wizard dialogs:
    the wizard's own banner."""
    spec = importlib.util.spec_from_file_location(
        'make_wizard_art', os.path.join(HERE, '..', 'wizard', 'art', 'make_wizard_art.py'))
    wizard = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(wizard)
    return wizard.banner(art)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    lines = ['// Written by make_manager_art.py.']
    for rid, (tile, kind) in sorted(ICONS.items()):
        path = os.path.join(out, 'manager_icon_%d.ico' % rid)
        with open(path, 'wb') as f:
            f.write(art.ico([art.icon_image(s, tile, kind) for s in (16, 24, 32)]))
        lines.append('%d ICON "%s"' % (rid, path.replace('\\', '/')))
    path = os.path.join(out, 'manager_banner.bmp')
    with open(path, 'wb') as f:
        f.write(banner().bmp())
    for rid in (192, 193):
        lines.append('%d BITMAP "%s"' % (rid, path.replace('\\', '/')))
    with open(os.path.join(out, 'manager_art.rc'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
