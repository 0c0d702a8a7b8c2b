#!/usr/bin/env python3
"""The ids of the manager's pictures, each named once: the art scripts draw
by this table, and the C++ code and resource scripts load by the header
written from it (manager_art_ids.h).

Usage: manager_art_ids.py OUTPUT_DIR   (writes OUTPUT_DIR/manager_art_ids.h)
"""
import os
import sys

IDS = [
    # The program's icon and the icon of its message boxes.
    ('IDR_MAINFRAME', 128),
    ('IDI_MESSAGE_BOX', 178),
    # The job tree's image list, in list order (TreeImage in job_view_text.h).
    ('IDI_TREE_COMPUTER', 129),
    ('IDI_TREE_BACKUP_ONCE', 141),
    ('IDI_TREE_BACKUP_RUNNING', 142),
    ('IDI_TREE_ERROR', 140),
    ('IDI_TREE_REPLICATION_ONCE', 146),
    ('IDI_TREE_REPLICATION_RUNNING', 145),
    ('IDI_TREE_SCHEDULE', 147),
    ('IDI_TREE_REPLICATION_RUN', 149),
    ('IDI_TREE_NOTE', 161),
    ('IDI_TREE_PATH', 175),
    ('IDI_TREE_TIME', 176),
    ('IDI_TREE_LIST', 153),
    ('IDI_TREE_DRIVE', 177),
    ('IDI_TREE_SOURCE', 183),
    ('IDI_TREE_TARGET', 182),
    ('IDI_TREE_BACKUP_RECURRING', 187),
    ('IDI_TREE_REPLICATION_RECURRING', 184),
    ('IDI_TREE_INFO', 185),
    # The history list.
    ('IDI_HISTORY_SUCCESS', 154),
    ('IDI_HISTORY_FAILURE', 155),
    # The context menus.
    ('IDI_MENU_ADD_SYNC', 167),
    ('IDI_MENU_USE_EXISTING', 168),
    ('IDI_MENU_CREATE_NEW', 169),
    ('IDI_MENU_RUN_BACKUP', 174),
    ('IDI_MENU_MODIFY_BACKUP', 173),
    ('IDI_MENU_DELETE_HISTORY', 171),
    ('IDI_MENU_REMOVE_INVENTORY', 172),
    ('IDI_MENU_DELETE_DISK', 170),
    ('IDI_MENU_RECOVERY', 181),
    ('IDI_MENU_MODIFY_REPLICATION', 188),
    ('IDI_MENU_REMOVE_REPLICATION', 186),
    ('IDI_MENU_CLEAR', 196),
    # The top strips of the repository dialog, and of the replication set
    # dialog and the wizard; the About box's picture.
    ('IDB_REPOSITORY_BANNER', 192),
    ('IDB_JOB_BANNER', 193),
    ('IDB_ABOUT_PICTURE', 195),
]
ID = dict(IDS)
assert len(ID) == len(IDS) and len(set(ID.values())) == len(IDS), 'a name or an id twice'


def header():
    lines = ['// Written by manager_art_ids.py from its table; edit the table.', '#pragma once']
    lines += ['#define %s %d' % (name, rid) for name, rid in IDS]
    return '\n'.join(lines) + '\n'


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, 'manager_art_ids.h')
    text = header()
    # Rewritten only when it changes, so that nothing rebuilds for nothing.
    if not os.path.exists(path) or open(path).read() != text:
        with open(path, 'w') as f:
            f.write(text)


if __name__ == '__main__':
    main()
