#!/usr/bin/env bash
# Prints the path of a Python 3.12 interpreter: python3.12 on PATH first, then pyenv's newest 3.12.
set -uo pipefail

works() { "$1" -c 'import sys; assert sys.version_info[:2] == (3, 12)' >/dev/null 2>&1; }

if candidate=$(command -v python3.12) && works "$candidate"; then
    echo "$candidate"; exit 0
fi
for pyenv in pyenv "${PYENV_ROOT:-$HOME/.pyenv}/bin/pyenv"; do
    if prefix=$("$pyenv" prefix "$("$pyenv" latest 3.12 2>/dev/null)" 2>/dev/null) \
        && works "$prefix/bin/python3.12"; then
        echo "$prefix/bin/python3.12"; exit 0
    fi
done
echo "Python 3.12 not found: put python3.12 on PATH or install it with pyenv" >&2
exit 1
