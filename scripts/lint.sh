#!/usr/bin/env bash
# The tools on the project's own sources:
#   clang-format --dry-run -Werror    every tracked .cpp and .h file (.clang-format)
#   scripts/check-layout.sh           no library or program includes a program's folder
#   clang-tidy                        the program sources (every source of the compile
#                                     database outside tests/, testing/, benchmarks/, fuzz/
#                                     and tools/), with the settings of .clang-tidy and the
#                                     compile database of a built tree (default
#                                     build/release, made by scripts/build.sh release)
#
#   scripts/lint.sh [--all] [--record] [--list] [build-tree]
#
# clang-tidy checks the program sources that a change since the last clean record can
# affect: the record, .ci/tidy-clean, names a commit at which clang-tidy found nothing,
# with the packages and the compile command of every program source at the time. A source
# is checked again when it changed since that commit, when a file it includes (the build's
# own dependency record, ninja -t deps) changed, when its compile command changed, or when
# the build does not know its includes for sure. Everything is checked when .clang-tidy
# or .clang-format changed, when the packages differ, or when there is no usable record.
#   --all     check every program source whatever the record says
#   --record  after a clean check of a working tree without uncommitted changes, write
#             .ci/tidy-clean for HEAD (commit it on its own)
#   --list    print the program sources clang-tidy would check, and check nothing
# docs/ci.md tells more.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # one sort order for sort and join

all=no
record=no
list=no
build=build/release
for arg in "$@"; do
    case "$arg" in
        --all) all=yes ;;
        --record) record=yes ;;
        --list) list=yes ;;
        -*) echo "usage: $0 [--all] [--record] [--list] [build-tree]" >&2; exit 2 ;;
        *) build=$arg ;;
    esac
done
marker=.ci/tidy-clean
jobs=$(nproc)

if [ "$list" = no ]; then
    echo "== clang-format"
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
    echo "== layout"
    scripts/check-layout.sh
    echo "== clang-tidy"
fi
db="$build/compile_commands.json"
if [ ! -f "$db" ] || [ ! -f "$build/build.ninja" ]; then
    echo "no compile database of a Ninja tree in $build: run scripts/build.sh release first" >&2
    exit 2
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lint.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
src=$PWD
bld=$(cd "$build" && pwd)

# The program sources, tracked, with the hash of their compile command; the paths of this
# source tree and of the build tree written as placeholders, so that clones compare.
git ls-files | sort >"$scratch/tracked"
jq -r '.[] | [.file, .command] | @tsv' "$db" |
    awk -F'\t' -v src="$src" -v bld="$bld" '
        function swap(s, from, to,   i) {
            while ((i = index(s, from)) > 0) s = substr(s, 1, i - 1) to substr(s, i + length(from))
            return s }
        { cmd = swap(swap($2, bld, "@BUILD@"), src, "@SOURCE@")
          print substr($1, length(src) + 2) "\t" cmd }' |
    grep -Ev '^(tests|testing|benchmarks|fuzz|tools)/' | sort >"$scratch/commands"
cut -f1 "$scratch/commands" | sort -u | join - "$scratch/tracked" >"$scratch/sources"
while IFS= read -r f; do
    printf '%s %s\n' "$(awk -F'\t' -v f="$f" '$1 == f { print $2 }' "$scratch/commands" |
                        sha1sum | cut -c1-40)" "$f"
done <"$scratch/sources" >"$scratch/hashes"

# What clang-tidy's findings can depend on beyond the sources: the tools and the packages
# whose headers the sources include.
packages_hash() {
    {
        scripts/install-deps.sh --list | sort -u | xargs dpkg-query -W -f='${Package} ${Version}\n'
        clang-tidy --version
        c++ --version
    } 2>&1 | sha1sum | cut -c1-40
}
packages=$(packages_hash)

# Why everything is checked, or nothing if the record holds.
reason=
if [ "$all" = yes ]; then
    reason="asked for"
elif [ ! -f "$marker" ]; then
    reason="no record in $marker"
else
    base=$(awk '$1 == "commit" { print $2 }' "$marker")
    if [ -z "$base" ] || ! git cat-file -e "$base^{commit}" 2>/dev/null; then
        reason="the recorded commit ${base:-(none)} is not in this repository"
    elif [ "$(awk '$1 == "packages" { print $2 }' "$marker")" != "$packages" ]; then
        reason="the tools or packages differ from the record's"
    fi
fi

if [ -z "$reason" ]; then
    # Files changed since the recorded commit: committed, staged, unstaged and untracked.
    { git diff --name-only --no-renames "$base" --; git ls-files --others --exclude-standard; } |
        sort -u >"$scratch/changed"
    if grep -qxE '\.clang-tidy|\.clang-format' "$scratch/changed"; then
        reason="the settings of clang-format or clang-tidy changed"
    fi
fi

# The build's objects of the program sources. Those the build would make again may include
# other files by now: their sources are checked. A tree whose configuration is out of date
# has an out-of-date compile database too.
jq -r '.[] | [.file, (.command | capture(" -o (?<o>[^ ]+) ").o)] | @tsv' "$db" |
    awk -F'\t' -v src="$src/" 'index($1, src) == 1 { print substr($1, length(src) + 1) "\t" $2 }' |
    sort | join -t $'\t' - "$scratch/sources" >"$scratch/objects"
ninja -C "$build" -n $(cut -f2 "$scratch/objects") >"$scratch/plan"
if grep -q 'Re-running CMake' "$scratch/plan"; then
    echo "$build is configured from older CMake files: run scripts/build.sh release first" >&2
    exit 2
fi
sed -n 's/^\[[0-9]*\/[0-9]*\] Building CXX object //p' "$scratch/plan" |
    awk -F'\t' 'NR == FNR { dirty[$1] = 1; next } $2 in dirty { print $1 }' - "$scratch/objects" \
    >"$scratch/dirty"

if [ -n "$reason" ]; then
    echo "checking every program source: $reason" >&2
    cp "$scratch/sources" "$scratch/check"
else
    {
        # Changed sources.
        join "$scratch/sources" "$scratch/changed"
        # Sources whose compile command differs from the recorded one (or that are new).
        awk 'length($1) == 40 && $1 ~ /^[0-9a-f]+$/ { print $1 " " $2 }' "$marker" | sort -k2 >"$scratch/recorded"
        sort -k2 "$scratch/hashes" | join -1 2 -2 2 -a 1 -o 0,1.1,2.1 - "$scratch/recorded" |
            awk '$2 != $3 { print $1 }'
        # Sources that include a changed file, by the build's record of each object's
        # includes (its source first). An object without a valid record, or that the build
        # would make again, may include anything else by now: its source is checked.
        ninja -C "$build" -t deps >"$scratch/deps"
        awk '{ print $1 }' "$scratch/dirty"
        awk -v src="$src/" -v changed="$scratch/changed" -v dirty="$scratch/dirty" \
            -v objects="$scratch/objects" '
            function clean(f,   n, i, k, part, out) {   # a/b/../c -> a/c
                n = split(f, part, "/"); k = 0
                for (i = 1; i <= n; i++) {
                    if (part[i] == "." || (part[i] == "" && i > 1)) continue
                    if (part[i] == ".." && k > 1) { k--; continue }
                    out[++k] = part[i] }
                f = out[1]; for (i = 2; i <= k; i++) f = f "/" out[i]
                return f }
            function emit(f) { if (index(f, src) == 1) f = substr(f, length(src) + 1); print f }
            BEGIN { while ((getline f < changed) > 0) c[src f] = 1
                    while ((getline line < objects) > 0) { split(line, p, "\t"); obj[p[2]] = p[1] } }
            /^[^ ]/ { o = $1; sub(/:$/, "", o); known[o] = 1; first = 1
                      stale = ($0 !~ /\(VALID\)$/); next }
            /^    / { sub(/^    /, ""); dep = clean($0)
                      if (first) { source = dep; first = 0; if (stale) emit(source) }
                      if (dep in c) emit(source) }
            END { for (o in obj) if (!(o in known)) emit(obj[o]) }
        ' "$scratch/deps"
    } | sort -u | join - "$scratch/sources" >"$scratch/check"
    echo "checking $(wc -l <"$scratch/check") of $(wc -l <"$scratch/sources") program sources:" \
         "what changed since $base can affect" >&2
fi

if [ "$list" = yes ]; then
    cat "$scratch/check"
    exit 0
fi

# One process per file, as many as there are cores; warnings of the checks in .clang-tidy
# are errors.
if [ -s "$scratch/check" ]; then
    tr '\n' '\0' <"$scratch/check" | xargs -0 -n 1 -P "$jobs" clang-tidy --quiet -p "$build" 2>/dev/null
fi

if [ "$record" = yes ]; then
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
        echo "not recorded: the working tree has uncommitted changes" >&2
        exit 1
    fi
    {
        echo "# clang-tidy found nothing in the program sources of this commit, with these"
        echo "# packages and these compile commands. Written by scripts/lint.sh --record;"
        echo "# scripts/lint.sh checks again only what changed since (docs/ci.md)."
        echo "commit $(git rev-parse HEAD)"
        echo "packages $packages"
        cat "$scratch/hashes"
    } >"$marker"
    echo "recorded in $marker: commit it on its own"
fi
echo "lint: clean"
