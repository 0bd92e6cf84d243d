"""boxwright: LAMMPS input files for mixtures of small molecules in a cubic box."""

from .errors import BuildError, BuildWarning

__all__ = ["BuildError", "BuildWarning"]


def __getattr__(name: str) -> str:
    # `__version__` is looked up on first use only: reading an installed package's metadata
    # scans sys.path, which an import of the package should not pay for.
    if name == "__version__":
        globals()[name] = version = _version()
        return version
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def _version() -> str:
    # The version is written once, in pyproject.toml. An installed package reads it from its
    # metadata; the package of a CMake build tree has none, and CMake writes it a file instead.
    try:
        # CMake writes this file into the build tree only.
        from ._build_version import VERSION  # pyright: ignore[reportMissingImports]
    except ImportError:
        from importlib import metadata

        try:
            return metadata.version(__name__)
        except metadata.PackageNotFoundError:
            return "0+unknown"  # the bare source tree, neither built nor installed
    return VERSION
