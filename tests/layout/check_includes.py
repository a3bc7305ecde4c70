#!/usr/bin/env python3
"""Checks that every #include "..." under src/, apps/ and tools/ points down the
layers, so the tree keeps saying what may depend on what:

    core -> database -> files -> protocols -> widgets
         -> control program: link, run, setup -> control  -> apps/Kvintor
         -> database program: reference -> shell           -> apps/BaseKvintor
         -> tools (may use either program's folders)

A folder includes its own files and those of lower layers. The control
program's folders and the database program's folders never include each
other. Folders on one layer include each other only along the pairs in
PEERS. A folder under src/ that is not placed here fails the check, so a
new folder has to be given its layer.

usage: check_includes.py [--root DIR] | --self-test
Prints one line per wrong include (file:line) and exits 1 when there is any.
"""

import os
import re
import sys
import tempfile

# folder -> (layer, program group or None)
LAYERS = {
    'core': (0, None),
    'database': (1, None),
    'files': (2, None),
    'protocols': (3, None),
    'widgets': (4, None),
    'link': (5, 'control'),
    'run': (5, 'control'),
    'setup': (5, 'control'),
    'control': (6, 'control'),
    'reference': (5, 'base'),
    # The start from the desktop menu, which both programs make before their windows.
    'desktop': (5, None),
    'shell': (6, 'base'),
    'apps/Kvintor': (7, 'control'),
    'apps/BaseKvintor': (7, 'base'),
    'tools': (7, None),
}

# Includes between folders of one layer that the design needs.
PEERS = {
    # The main window opens the run set-up and protocol-data dialogs, and its
    # controller launches a run through setup's launcher.
    ('link', 'setup'),
    # A run sends its frames through the stand link and decodes the replies.
    ('run', 'link'),
    # A run reads its set-up (data module, chosen positions) and opens the
    # set-up's dialogs (meter numbers, point parameters, register readings).
    ('run', 'setup'),
    # Those dialogs and the results tables show the state of the running run.
    ('setup', 'run'),
}

SOURCE_DIRS = ('src', 'apps', 'tools')
SOURCE_EXTENSIONS = ('.h', '.hpp', '.cpp', '.cc', '.c')
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
ORDER = 'core -> database -> files -> protocols -> widgets -> (link, run, setup -> control | reference -> shell | desktop) -> apps, tools'


def folder_of(rel_path):
    """The checked folder a source file belongs to, or None."""
    parts = rel_path.split('/')
    if parts[0] == 'src' and len(parts) > 2:
        return parts[1]
    if parts[0] == 'apps' and len(parts) > 2:
        return 'apps/' + parts[1]
    if parts[0] == 'tools':
        return 'tools'
    return None


def allowed(source, target):
    if source == target:
        return True
    s_layer, s_group = LAYERS[source]
    t_layer, t_group = LAYERS[target]
    if s_group and t_group and s_group != t_group:
        return False
    if t_layer < s_layer:
        return True
    return t_layer == s_layer and (source, target) in PEERS


def check(root):
    """Returns the problems as (where, why): a wrong include (file:line) or an unplaced folder."""
    problems = []
    src = os.path.join(root, 'src')
    src_folders = {d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))}
    for d in sorted(src_folders):
        if d not in LAYERS:
            problems.append(('src/' + d, 'folder has no layer in tests/layout/check_includes.py'))
    for top in SOURCE_DIRS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames.sort()
            for name in sorted(filenames):
                if not name.endswith(SOURCE_EXTENSIONS):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace(os.sep, '/')
                source = folder_of(rel)
                if source not in LAYERS:
                    continue
                with open(path, encoding='utf-8', errors='replace') as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        included = m.group(1)
                        target = included.split('/')[0] if '/' in included else None
                        # A name beside the including file (tools' own headers) is its own folder's.
                        if target not in src_folders:
                            continue
                        if target not in LAYERS:
                            continue  # reported once above as an unplaced folder
                        if not allowed(source, target):
                            problems.append(('%s:%d' % (rel, number),
                                             '%s includes "%s" from %s, which is not below it (%s)'
                                             % (source, included, target, ORDER)))
    return problems


def self_test():
    """Plants good and bad includes in a scratch tree and checks what is reported."""
    files = {
        'src/core/clock.h': '#include <QDateTime>\n',
        'src/core/ui.h': '#include "core/clock.h"\n',
        'src/database/conn.cpp': '#include "core/clock.h"\n#include "database/conn.h"\n',
        'src/database/conn.h': '',
        'src/core/bad.cpp': '#include "core/ui.h"\n#include "widgets/grid.h"\n',              # up: bad at 2
        'src/files/bad.cpp': '#include "protocols/p.h"\n',                                    # up: bad at 1
        'src/protocols/p.h': '',
        'src/widgets/grid.h': '#include "files/w.h"\n#include "shell/x.h"\n',                # bad at 2
        'src/link/a.cpp': '#include "setup/s.h"\n#include "run/r.h"\n',                      # link->run bad at 2
        'src/run/r.h': '#include "link/a.h"\n#include "setup/s.h"\n',
        'src/setup/s.h': '#include "run/r.h"\n#include "control/start.h"\n',                # up: bad at 2
        'src/control/start.h': '#include "link/a.h"\n#include "reference/w.h"\n',            # cross: bad at 2
        'src/reference/w.h': '#include "widgets/grid.h"\n#include "shell/m.h"\n',            # up: bad at 2
        'src/reference/v.cpp': '  #  include "setup/s.h"\n',                                 # cross: bad at 1
        'src/shell/m.h': '#include "reference/w.h"\n',
        'src/extra/e.h': '#include "core/ui.h"\n',                                            # unplaced folder
        'apps/Kvintor/main.cpp': '#include "control/start.h"\n#include "shell/m.h"\n',       # cross: bad at 2
        'apps/BaseKvintor/main.cpp': '#include "shell/m.h"\n',
        'tools/db/main.cpp': '#include "setup/s.h"\n#include "shell/m.h"\n#include "demo.h"\n',
        'tools/db/demo.h': '#include "quazip/quazip.h"\n',
    }
    expected = {
        'src/core/bad.cpp:2', 'src/files/bad.cpp:1', 'src/widgets/grid.h:2', 'src/link/a.cpp:2',
        'src/setup/s.h:2', 'src/control/start.h:2', 'src/reference/w.h:2', 'src/reference/v.cpp:1',
        'apps/Kvintor/main.cpp:2', 'src/extra',
    }
    with tempfile.TemporaryDirectory() as root:
        for rel, text in files.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'w', encoding='utf-8') as f:
                f.write(text)
        found = {where for where, _ in check(root)}
    if found != expected:
        print('self-test: missed %s; reported wrongly %s' % (sorted(expected - found), sorted(found - expected)))
        return 1
    print('self-test: %d planted wrong includes reported, the allowed ones passed' % len(expected))
    return 0


def main(argv):
    if '--self-test' in argv:
        return self_test()
    root = argv[argv.index('--root') + 1] if '--root' in argv else \
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    problems = check(root)
    for where, why in problems:
        print('%s: %s' % (where, why))
    if problems:
        print('%d include(s) against the layer order' % len(problems))
        return 1
    print('every include follows the layer order')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
