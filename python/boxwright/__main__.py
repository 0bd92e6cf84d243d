"""The `boxwright` command and `python -m boxwright`: the command line of boxwright.cli.

This module imports nothing else before it runs, so that Ctrl-C while Python imports the command
line ends it with one line and exit status 130, as at any later moment, and not with a traceback.
"""

import sys

__all__ = ["main"]


def main() -> int:
    """Runs the command line of `sys.argv`; returns the exit status."""
    try:
        from .cli import main as run
    except KeyboardInterrupt:
        print("boxwright: interrupted", file=sys.stderr)
        return 130
    return run()


if __name__ == "__main__":
    sys.exit(main())
