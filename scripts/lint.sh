#!/usr/bin/env bash
# shellcheck disable=SC2016  # the bash -c program and the sed expression are meant literally
# Static checks over the program and test sources; fails on any finding.
#
#   scripts/lint.sh
#
#   1. clang-tidy with the checks in .clang-tidy (all of them errors), for the mingw-w64 target;
#   2. cppcheck (warning, performance, portability); suppressions, each with its reason, in
#      scripts/cppcheck-suppressions.txt;
#   3. clang++ -fsyntax-only with the build's warning flags, so clang warns where g++ does not;
#   4. shellcheck (warnings and errors) over the shell scripts of scripts/, tests/ and .ci/,
#      following what each one sources.
# The compile flags come from a configure of the mingw preset (no build needed); the native
# fuzzers in tests/fuzz are checked as the host program they are.
# Environment: LINT_BUILD_DIR (default build/lint), LINT_JOBS (default: the number of CPUs).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${LINT_BUILD_DIR:-$root/build/lint}
jobs=${LINT_JOBS:-$(nproc)}
cd "$root"

die() {
    echo "lint.sh: $*" >&2
    exit 1
}
for tool in clang-tidy clang++ cppcheck shellcheck python3 cmake x86_64-w64-mingw32-g++-posix; do
    command -v "$tool" >/dev/null || die "$tool not found; run scripts/setup.sh first"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start=$SECONDS

# --- compile flags --------------------------------------------------------------------------
if ! cmake --preset mingw -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$work/configure.log" 2>&1
then
    cat "$work/configure.log" >&2
    die "cmake configure failed"
fi
# clang finds neither mingw's libstdc++ nor its C headers by itself; take the ones of the
# cross compiler the build uses, and none of the host's.
gcc_version=$(x86_64-w64-mingw32-g++-posix -dumpversion)
cxx_headers=/usr/lib/gcc/x86_64-w64-mingw32/$gcc_version/include/c++
mingw_headers=/usr/x86_64-w64-mingw32/include
[[ -d $cxx_headers && -d $mingw_headers ]] || die "mingw-w64 headers not found ($cxx_headers)"

# Writes $work/db/compile_commands.json (clang command lines, for clang-tidy), $work/files (the
# sources checked), $work/defines (the program's -D flags, for cppcheck) and one clang argument
# file per source in $work/syntax/ (for the warning pass).
python3 - "$root" "$build" "$work" "$cxx_headers" "$mingw_headers" <<'EOF'
import glob, json, os, shlex, sys

root, build, work, cxx, mingw = sys.argv[1:]
dirs = ("common", "settings", "shell", "preview", "remote", "print", "tests")
target = ["--target=x86_64-w64-mingw32", "-nostdlibinc", "-nostdinc++",
          "-isystem", cxx, "-isystem", cxx + "/x86_64-w64-mingw32", "-isystem", cxx + "/backward",
          "-isystem", mingw]
warnings = ["-Wall", "-Wextra", "-Wpedantic", "-Werror"]


def expand(args, directory):
    out = []
    for a in args:
        if a.startswith("@"):
            with open(os.path.join(directory, a[1:])) as f:
                out += expand(shlex.split(f.read()), directory)
        else:
            out.append(a)
    return out


def flags(args):
    """Preprocessor flags and the language standard; optimisation, warnings and output dropped."""
    out, i = [], 0
    while i < len(args):
        a = args[i]
        if a in ("-I", "-isystem", "-D", "-U", "-include"):
            out += args[i:i + 2]
            i += 2
            continue
        if a.startswith(("-D", "-U", "-I", "-isystem", "-std=")):
            out.append(a)
        i += 1
    return out


entries, defines = {}, None
with open(os.path.join(build, "compile_commands.json")) as f:
    for e in json.load(f):
        path = os.path.realpath(e["file"])
        rel = os.path.relpath(path, root)
        if rel.split(os.sep)[0] not in dirs or not rel.endswith(".cpp"):
            continue
        args = e["arguments"] if "arguments" in e else shlex.split(e["command"])
        args = flags(expand(args[1:], e["directory"]))
        entries[path] = target + args
        if rel.startswith("common" + os.sep) and defines is None:
            defines = [a for a in args if a.startswith("-D")]

# The fuzzers and their helpers build natively (tests/fuzz/CMakeLists.txt).
for path in sorted(glob.glob(os.path.join(root, "tests", "fuzz", "*.cpp"))):
    entries[os.path.realpath(path)] = ["-std=c++17", "-I" + root]

os.makedirs(os.path.join(work, "db"))
os.makedirs(os.path.join(work, "syntax"))
db = [{"directory": root, "file": p, "arguments": ["clang++"] + a + ["-c", p]}
      for p, a in sorted(entries.items())]
with open(os.path.join(work, "db", "compile_commands.json"), "w") as f:
    json.dump(db, f, indent=1)
with open(os.path.join(work, "files"), "w") as f:
    f.write("".join(p + "\n" for p in sorted(entries)))
with open(os.path.join(work, "defines"), "w") as f:
    f.write("".join(d + "\n" for d in defines or []))
for n, (p, a) in enumerate(sorted(entries.items())):
    with open(os.path.join(work, "syntax", "%03d.rsp" % n), "w") as f:
        f.write(" ".join(shlex.quote(x) for x in a + ["-fsyntax-only"] + warnings + [p]) + "\n")
EOF
mapfile -t files <"$work/files"
mapfile -t defines <"$work/defines"
((${#files[@]} > 0)) || die "no sources found in $build/compile_commands.json"
echo "lint.sh: ${#files[@]} sources"

failed=()
# run_each NAME CMD... -- ITEMS...: runs the command once per item (appended), $jobs at a time;
# each run writes its own log, kept only when it fails, so the output stays readable.
run_each() {
    local name=$1 cmd=()
    shift
    while [[ $1 != -- ]]; do
        cmd+=("$1")
        shift
    done
    shift
    mkdir -p "$work/$name"
    printf '%s\0' "$@" | xargs -0 -P "$jobs" -n 1 bash -c '
        out=$1
        shift
        log=$out/$(printf %s "${!#}" | tr / _).log
        if "$@" >"$log" 2>&1; then rm -f "$log"; fi' _ "$work/$name" "${cmd[@]}"
    local logs=("$work/$name"/*.log)
    [[ -e ${logs[0]} ]] || return 0
    grep -hv '^[0-9]* warnings\? generated\.$' "${logs[@]}"
    return 1
}

# --- 1. clang-tidy --------------------------------------------------------------------------
echo "== clang-tidy"
root_re=$(printf '%s' "$root" | sed 's/[][\.*^$()+?{}|]/\\&/g')
header_filter="^$root_re/(common|settings|shell|preview|remote|print|tests)/"
t=$SECONDS
tidy=(clang-tidy --quiet -p "$work/db" "--header-filter=$header_filter")
if ! run_each tidy "${tidy[@]}" -- "${files[@]}"; then
    failed+=(clang-tidy)
fi
echo "   ($((SECONDS - t)) s)"

# --- 2. cppcheck ----------------------------------------------------------------------------
echo "== cppcheck"
t=$SECONDS
if ! cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
    --std=c++17 --language=c++ --platform=win64 --library=windows --library=googletest \
    --inline-suppr --suppressions-list=scripts/cppcheck-suppressions.txt \
    -j "$jobs" -I "$root" "${defines[@]}" \
    --template='{file}:{line}:{column}: {severity}: {message} [{id}]' "${files[@]}"; then
    failed+=(cppcheck)
fi
echo "   ($((SECONDS - t)) s)"

# --- 3. clang warnings ----------------------------------------------------------------------
echo "== clang++ -Wall -Wextra -Wpedantic -Werror"
t=$SECONDS
rsp=("$work"/syntax/*.rsp)
if ! run_each syntax clang++ -- "${rsp[@]/#/@}"; then
    failed+=("clang++ warnings")
fi
echo "   ($((SECONDS - t)) s)"

# --- 4. shellcheck --------------------------------------------------------------------------
echo "== shellcheck"
t=$SECONDS
scripts=()
while IFS= read -r -d '' f; do
    if [[ $f == *.sh ]] || head -n1 "$f" | grep -qE '^#!.*\b(ba)?sh\b'; then scripts+=("$f"); fi
done < <(find scripts tests .ci -type f -print0 | sort -z)
echo "   ${#scripts[@]} scripts"
if ! shellcheck --external-sources --source-path=SCRIPTDIR --severity=warning "${scripts[@]}"; then
    failed+=(shellcheck)
fi
echo "   ($((SECONDS - t)) s)"

if ((${#failed[@]} > 0)); then
    echo "lint.sh: FAILED: ${failed[*]} (findings above)" >&2
    exit 1
fi
echo "lint.sh: clean ($((SECONDS - start)) s)"
