#!/usr/bin/env bash
# Builds the release twice from the commit checked out and compares every byte:
# once here (scripts/release.sh, into build/release), dated by the commit, and
# once, later, in a clone in another folder under another umask, with
# SOURCE_DATE_EPOCH given, with compiler, linker and archiver settings in the
# environment that the release must not take, and when run as root, as another
# user (nobody). (Time zone and locale are not varied: the release script sets
# both itself.) Where the working tree has changes, the first build is made in a
# clone of the commit as well.
# Then checks what the release holds: the archives' names, order, owners, modes,
# dates and line ends, SHA256SUMS, no build folder inside a program, the PE time
# stamp, and what each program needs of the system. Installs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
commit=$(git rev-parse HEAD)
epoch=$(git log -1 --format=%ct)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-release.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# clone FOLDER: the commit, checked out in FOLDER. Its objects are copies, never
# links to this repository's files, which would change owner with the clone's.
clone() {
  git clone -q --no-hardlinks --no-checkout "$root" "$1"
  git -C "$1" -c advice.detachedHead=false checkout -q "$commit"
}

echo "== release, first build"
if [[ -z $(git status --porcelain) ]]; then
  first=$root
else
  echo "(the working tree has changes: building commit ${commit:0:7} in a clone)"
  first=$scratch/first/quarvel
  (umask 022 && clone "$first")
fi
(umask 022 && cd "$first" && env -u SOURCE_DATE_EPOCH scripts/release.sh)

second="$scratch/another place/quarvel"
as_other=()
if ((EUID == 0)); then
  as_other=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$scratch/home")
fi
echo "== release, second build: another folder, umask 077, SOURCE_DATE_EPOCH=$epoch," \
  "CXXFLAGS, LDFLAGS, ZIPOPT and TAR_OPTIONS set${as_other:+, user nobody}"
(
  umask 077
  clone "$second"
  if ((${#as_other[@]})); then
    chmod 0711 "$scratch"
    mkdir "$scratch/home"
    chown -R nobody:nogroup "$scratch/home" "$scratch/another place"
  fi
  cd "$second"
  # The commit's date, given; each of the rest would change the bytes, were the release to take it.
  SOURCE_DATE_EPOCH=$epoch CXXFLAGS=-g LDFLAGS=-Wl,--build-id=none ZIPOPT=-l \
    TAR_OPTIONS=--mode=go-r "${as_other[@]}" scripts/release.sh
)

echo "== release, the two builds compared"
a=$first/build/release
b=$second/build/release
listing() { (cd "$1" && find . -type f | LC_ALL=C sort); }
[[ "$(listing "$a")" == "$(listing "$b")" ]] || fail "the two builds made different files"
files=$(listing "$a")
for file in $files; do
  if cmp -s "$a/$file" "$b/$file"; then
    echo "same: $(sha256sum <"$a/$file" | cut -d' ' -f1)  ${file#./}"
  else
    fail "${file#./} differs: $(sha256sum <"$a/$file" | cut -c1-16)... and" \
      "$(sha256sum <"$b/$file" | cut -c1-16)..."
  fi
done

echo "== release, what it holds"
(cd "$a" && sha256sum -c --quiet --ignore-missing SHA256SUMS) || fail "SHA256SUMS: archives"
(cd "$a/linux" && sha256sum -c --quiet --ignore-missing ../SHA256SUMS) || fail "SHA256SUMS: Quarvel"
(cd "$a/windows" && sha256sum -c --quiet --ignore-missing ../SHA256SUMS) ||
  fail "SHA256SUMS: Quarvel.exe"
[[ "$(cut -d' ' -f3 "$a/SHA256SUMS" | tr '\n' ' ')" == \
  "Quarvel-linux.tar.gz Quarvel-windows.zip Quarvel Quarvel.exe " ]] ||
  fail "SHA256SUMS does not list the two archives and the two programs"

# Every member dated by the commit, owned by root, in this order, with these modes.
date=$(date -u -d "@$epoch" '+%F %T')
expected="-rwxr-xr-x root/root $date Quarvel
-rw-r--r-- root/root $date README-modders.txt"
actual=$(TZ=UTC0 tar --full-time -tvzf "$a/Quarvel-linux.tar.gz" | awk '{print $1, $2, $4, $5, $6}')
[[ "$actual" == "$expected" ]] || fail "Quarvel-linux.tar.gz holds:"$'\n'"$actual"
[[ "$(tar --numeric-owner -tvzf "$a/Quarvel-linux.tar.gz" | awk '{print $2}' | sort -u)" == 0/0 ]] ||
  fail "Quarvel-linux.tar.gz: owner and group are not 0"
zip_date=$(date -u -d "@$((epoch + epoch % 2))" '+%Y%m%d.%H%M%S')  # zip rounds up to 2 s
expected="-rwxr-xr-x unx b- defX $zip_date Quarvel.exe
-rw-r--r-- unx t- defX $zip_date README-modders.txt"
actual=$(TZ=UTC0 zipinfo -T "$a/Quarvel-windows.zip" | awk 'NF == 8 {print $1, $3, $5, $6, $7, $8}')
[[ "$actual" == "$expected" ]] || fail "Quarvel-windows.zip holds:"$'\n'"$actual"
[[ "$(unzip -p "$a/Quarvel-windows.zip" README-modders.txt | grep -vc $'\r$')" == 0 ]] ||
  fail "the Windows note has lines without Windows line ends"
[[ "$(tar -xOzf "$a/Quarvel-linux.tar.gz" README-modders.txt | grep -c $'\r')" == 0 ]] ||
  fail "the Linux note has Windows line ends"

# The PE header's time stamp is the commit's (the checksum follows from it).
pe=$(od -An -tu4 -j60 -N4 "$a/windows/Quarvel.exe" | tr -d ' ')
stamp=$(od -An -tu4 -j$((pe + 8)) -N4 "$a/windows/Quarvel.exe" | tr -d ' ')
[[ "$stamp" == "$epoch" ]] || fail "Quarvel.exe's PE time stamp is $stamp, the commit's $epoch"

for program in "$a/linux/Quarvel" "$a/windows/Quarvel.exe"; do
  for folder in "$root" "$scratch"; do
    if grep -qF "$folder" "$program"; then fail "${program##*/} names the build folder $folder"; fi
  done
done
tests/release/check-linux-program.sh readelf "$a/linux/Quarvel" || fail "the Linux program's needs"
tests/windows/check-imports.sh x86_64-w64-mingw32-objdump "$a/windows/Quarvel.exe" ||
  fail "Quarvel.exe's imports"

if ((failures)); then
  echo "release: $failures check(s) failed"
  exit 1
fi
echo "release: reproducible, byte for byte ($(wc -w <<<"$files") files), and as it should be"
