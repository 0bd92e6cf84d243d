#!/usr/bin/env bash
# Installs the pinned pyright, the type checker of `make test`, into .tools/pyright (git-ignored)
# with npm, unless that version is there already. A newer pyright may find new errors, so the
# version changes here, on purpose, with the fixes it asks for.
set -euo pipefail
PYRIGHT_VERSION=1.1.414
cd "$(dirname "$0")/.."
prefix=.tools/pyright
installed=$(node -p "require('./$prefix/node_modules/pyright/package.json').version" 2>/dev/null || true)
[ "$installed" = "$PYRIGHT_VERSION" ] && exit 0
if ! command -v npm >/dev/null; then
    echo "pyright needs Node.js and npm: apt-get install -y nodejs npm" >&2
    exit 1
fi
echo "installing pyright $PYRIGHT_VERSION into $prefix"
npm install --prefix "$prefix" --no-audit --no-fund --loglevel=error "pyright@$PYRIGHT_VERSION" >/dev/null
