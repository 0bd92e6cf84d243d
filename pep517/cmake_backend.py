"""The build backend pip uses for boxwright: the project's own CMake build, packed as a wheel.

Why it exists: pip builds a package from source through a PEP 517 backend. The CMake backends
written for that are fetched from a Python package index, which the machines this project is
built on do not reach, and Debian does not package them. So this small one ships in the tree
(pyproject.toml names it through backend-path, with no build requirements) and needs nothing but
the standard library and cmake.

A wheel is made in three steps: CMake configures and builds the package exactly as `make` does
(Release, without the tests and benchmarks), `cmake --install` stages its `python` component (the
package's Python files, both extension modules, the stubs and py.typed), and the staged files are
zipped with the metadata of pyproject.toml's [project] table, the console command included.

Config settings (`pip ... -C key=value`):
    build-dir   the CMake build tree to use, relative to the source tree or absolute. A tree
                without a CMakeCache.txt is configured first; an existing one is only built, with
                the options it already has, so the tree of `make` can be reused as it is.
                Default: build-pip/ in the source tree, kept so that a second install rebuilds
                only what changed.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import time
import tomllib
import zipfile
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parent.parent
DEFAULT_BUILD_DIR = "build-pip"

# The [project] keys turned into metadata. Any other key fails the build: a key this backend
# would silently leave out of the wheel is worse than an error.
PROJECT_KEYS = {"name", "version", "description", "readme", "license", "license-files",
                "requires-python", "scripts"}
README_TYPES = {".md": "text/markdown", ".rst": "text/x-rst", ".txt": "text/plain"}

# Never part of a source distribution: version control and what builds, demos and fuzzing leave
# in the tree (what .gitignore names), as paths relative to the source tree.
SDIST_EXCLUDED = re.compile(r"(\.git|\.tools|build|build-[^/]*|out|dist|fuzz/corpus"
                            r"|fuzz/artifacts)|(.*/)?__pycache__|.*\.pyc")


# --- the PEP 517 hooks -------------------------------------------------------------------------


def build_wheel(wheel_directory: str, config_settings: dict | None = None,
                metadata_directory: str | None = None) -> str:
    project = _project()
    with tempfile.TemporaryDirectory(prefix="boxwright-wheel-") as staging:
        _build_and_stage(_build_dir(config_settings), Path(staging))
        return _write_wheel(Path(wheel_directory), Path(staging), project)


def build_sdist(sdist_directory: str, config_settings: dict | None = None) -> str:
    project = _project()
    base = _archive_base(project)
    path = Path(sdist_directory) / f"{base}.tar.gz"
    with tarfile.open(path, "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for file in _source_files():
            sdist.add(file, f"{base}/{file.relative_to(SOURCE_DIR).as_posix()}", recursive=False)
        pkg_info = _metadata(project).encode()
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        info.size, info.mode, info.mtime = len(pkg_info), 0o644, int(time.time())
        sdist.addfile(info, io.BytesIO(pkg_info))
    return path.name


# --- metadata ----------------------------------------------------------------------------------


def _project() -> dict:
    with open(SOURCE_DIR / "pyproject.toml", "rb") as file:
        project = tomllib.load(file)["project"]
    unknown = sorted(set(project) - PROJECT_KEYS)
    if unknown:
        raise ValueError(f"pyproject.toml: [project] keys {unknown} are not handled by "
                         f"{Path(__file__).relative_to(SOURCE_DIR)}; add them there")
    return project


def _archive_base(project: dict) -> str:
    # Wheel and sdist file names spell the name with runs of "-", "_" and "." as one "_".
    name = re.sub(r"[-_.]+", "_", project["name"]).lower()
    return f"{name}-{project['version']}"


def _metadata(project: dict) -> str:
    fields = [("Metadata-Version", "2.1"), ("Name", project["name"]),
              ("Version", project["version"])]
    if "description" in project:
        fields.append(("Summary", project["description"]))
    if "license" in project:
        if "text" not in project["license"]:
            raise ValueError("pyproject.toml: only license = { text = ... } is handled")
        fields.append(("License", project["license"]["text"]))
    if "requires-python" in project:
        fields.append(("Requires-Python", project["requires-python"]))
    body = ""
    if "readme" in project:
        readme = SOURCE_DIR / project["readme"]
        fields.append(("Description-Content-Type", README_TYPES[readme.suffix.lower()]))
        body = readme.read_text(encoding="utf-8")
    return "".join(f"{key}: {value}\n" for key, value in fields) + "\n" + body


def _entry_points(project: dict) -> str | None:
    scripts = project.get("scripts")
    if not scripts:
        return None
    return "[console_scripts]\n" + "".join(f"{n} = {t}\n" for n, t in scripts.items())


def _wheel_tag() -> str:
    # The modules use the full C API of this interpreter (not the limited one), so the wheel is
    # for exactly this interpreter version, ABI and platform: cp312-cp312-linux_x86_64.
    interpreter = f"cp{sys.version_info.major}{sys.version_info.minor}"
    abi = interpreter + ("d" if sysconfig.get_config_var("Py_DEBUG") else "")
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return f"{interpreter}-{abi}-{platform}"


# --- the CMake build ---------------------------------------------------------------------------


def _build_dir(config_settings: dict | None) -> Path:
    return SOURCE_DIR / (config_settings or {}).get("build-dir", DEFAULT_BUILD_DIR)


def _build_and_stage(build_dir: Path, staging: Path) -> None:
    if not (build_dir / "CMakeCache.txt").exists():
        _run("cmake", "-S", SOURCE_DIR, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
             f"-DPython_EXECUTABLE={_base_interpreter()}", "-DBOXWRIGHT_TESTS=OFF",
             "-DBOXWRIGHT_BENCH=OFF")
    _run("cmake", "--build", build_dir, *_parallel())
    _run("cmake", "--install", build_dir, "--prefix", staging, "--component", "python", "--strip")
    _check_modules_fit(build_dir, staging)


def _base_interpreter() -> str:
    # pip runs this hook with the interpreter of the environment it installs into, often a
    # virtual environment that may be gone by the next build in the same tree. The module is
    # built against the headers of the interpreter the environment was made from, so CMake is
    # given that one, which outlives the environment.
    return getattr(sys, "_base_executable", None) or sys.executable


def _parallel() -> list[str]:
    # Plain `--parallel` would let make start any number of jobs. CMake's own variable wins.
    if "CMAKE_BUILD_PARALLEL_LEVEL" in os.environ:
        return []
    return ["--parallel", str(len(os.sched_getaffinity(0)))]


def _check_modules_fit(build_dir: Path, staging: Path) -> None:
    # A reused build tree may have been configured for another interpreter; its modules would
    # install fine and then fail to import.
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    modules = sorted(p.name for p in (staging / "boxwright").glob("*.so"))
    if not modules or any(not name.endswith(suffix) for name in modules):
        raise RuntimeError(f"{build_dir} holds the extension modules {modules}, not ones for "
                           f"{sys.executable} (*{suffix}); give another build-dir")


def _run(*command: object) -> None:
    subprocess.run([str(part) for part in command], check=True)


# --- archives ----------------------------------------------------------------------------------


def _write_wheel(directory: Path, staging: Path, project: dict) -> str:
    base = _archive_base(project)
    dist_info = f"{base}.dist-info"
    path = directory / f"{base}-{_wheel_tag()}.whl"
    generated = {"METADATA": _metadata(project),
                 "WHEEL": "Wheel-Version: 1.0\nGenerator: boxwright pep517/cmake_backend.py\n"
                          f"Root-Is-Purelib: false\nTag: {_wheel_tag()}\n",
                 "entry_points.txt": _entry_points(project)}
    # The licence goes with every wheel, where installers keep it: in the dist-info's licenses/.
    for name in project.get("license-files", []):
        generated[f"licenses/{name}"] = (SOURCE_DIR / name).read_text(encoding="utf-8")
    record = []
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as wheel:
        def add(info: zipfile.ZipInfo, data: bytes) -> None:
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
            record.append(f"{info.filename},sha256={digest.decode()},{len(data)}")

        for file in sorted(p for p in staging.rglob("*") if p.is_file()):
            add(zipfile.ZipInfo.from_file(file, file.relative_to(staging).as_posix()),
                file.read_bytes())
        for name, text in generated.items():
            if text is not None:
                info = zipfile.ZipInfo(f"{dist_info}/{name}", time.localtime()[:6])
                info.external_attr = 0o644 << 16
                add(info, text.encode())
        record.append(f"{dist_info}/RECORD,,")
        wheel.writestr(f"{dist_info}/RECORD", "\n".join(record) + "\n")
    return path.name


def _source_files() -> list[Path]:
    files = []
    for root, dirs, names in os.walk(SOURCE_DIR):
        relative = Path(root).relative_to(SOURCE_DIR)
        dirs[:] = sorted(d for d in dirs if not SDIST_EXCLUDED.fullmatch((relative / d).as_posix()))
        files += [Path(root, n) for n in sorted(names)
                  if not SDIST_EXCLUDED.fullmatch((relative / n).as_posix())]
    return files
