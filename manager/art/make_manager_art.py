"""Draws the manager's own icons with the skin's painter and writes
manager_art.rc beside them."""
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'uikit', 'art'))
sys.path.insert(0, HERE)
import make_skin_art as art  # noqa: E402
from manager_art_ids import ID  # noqa: E402

BLUE, GREEN, RED, ORANGE, VIOLET, TEAL, GREY, GOLD = (
    (0x2F, 0x6F, 0xD0), (0x2E, 0x9E, 0x5B), (0xD6, 0x45, 0x3D), (0xE0, 0x8A, 0x1E),
    (0x7B, 0x5C, 0xC9), (0x1E, 0x9C, 0xA8), (0x8A, 0x95, 0xA3), (0xD9, 0x9A, 0x1B))

ICONS = {
    'IDR_MAINFRAME': (BLUE, 'disk'),
    'IDI_MESSAGE_BOX': (BLUE, 'info'),
    'IDI_TREE_COMPUTER': (GREY, 'disk'), 'IDI_TREE_BACKUP_ONCE': (BLUE, 'disk'),
    'IDI_TREE_BACKUP_RUNNING': (GREEN, 'play'), 'IDI_TREE_ERROR': (RED, 'cross'),
    'IDI_TREE_REPLICATION_ONCE': (TEAL, 'right'), 'IDI_TREE_REPLICATION_RUNNING': (ORANGE, 'bolt'),
    'IDI_TREE_SCHEDULE': (VIOLET, 'clock'), 'IDI_TREE_REPLICATION_RUN': (GREEN, 'bolt'),
    'IDI_TREE_NOTE': (ORANGE, 'info'), 'IDI_TREE_PATH': (GOLD, 'folder'), 'IDI_TREE_TIME': (VIOLET, 'clock'),
    'IDI_TREE_LIST': (TEAL, 'list'), 'IDI_TREE_DRIVE': (GREY, 'list'), 'IDI_TREE_SOURCE': (TEAL, 'left'),
    'IDI_TREE_TARGET': (TEAL, 'right'), 'IDI_TREE_BACKUP_RECURRING': (BLUE, 'sliders'),
    'IDI_TREE_REPLICATION_RECURRING': (TEAL, 'sliders'), 'IDI_TREE_INFO': (GREY, 'info'),
    'IDI_HISTORY_SUCCESS': (GREEN, 'check'), 'IDI_HISTORY_FAILURE': (RED, 'cross'),
    'IDI_MENU_ADD_SYNC': (TEAL, 'plus'), 'IDI_MENU_USE_EXISTING': (GOLD, 'folder'),
    'IDI_MENU_CREATE_NEW': (BLUE, 'plus'), 'IDI_MENU_RUN_BACKUP': (GREEN, 'play'),
    'IDI_MENU_MODIFY_BACKUP': (VIOLET, 'sliders'), 'IDI_MENU_DELETE_HISTORY': (GREY, 'cross'),
    'IDI_MENU_REMOVE_INVENTORY': (ORANGE, 'cross'), 'IDI_MENU_DELETE_DISK': (RED, 'cross'),
    'IDI_MENU_RECOVERY': (BLUE, 'disk'), 'IDI_MENU_MODIFY_REPLICATION': (TEAL, 'play'),
    'IDI_MENU_REMOVE_REPLICATION': (TEAL, 'sliders'), 'IDI_MENU_CLEAR': (GREY, 'list'),
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
    for rid, (tile, kind) in sorted((ID[name], look) for name, look in ICONS.items()):
        path = os.path.join(out, 'manager_icon_%d.ico' % rid)
        with open(path, 'wb') as f:
            f.write(art.ico([art.icon_image(s, tile, kind) for s in (16, 24, 32)]))
        lines.append('%d ICON "%s"' % (rid, path.replace('\\', '/')))
    path = os.path.join(out, 'manager_banner.bmp')
    with open(path, 'wb') as f:
        f.write(banner().bmp())
    for rid in (ID['IDB_REPOSITORY_BANNER'], ID['IDB_JOB_BANNER']):
        lines.append('%d BITMAP "%s"' % (rid, path.replace('\\', '/')))
    with open(os.path.join(out, 'manager_art.rc'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
