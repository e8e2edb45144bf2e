# shellcheck shell=bash
# Sourced by the scripts that build a library for the Windows target from
# Debian's source packages, once, into $prefix with a stamp holding the
# version built: ensure_deb_src makes sure apt-get source works, deb_source
# unpacks one source package, and dev_version, build_start and build_done
# do the stamp. Sets sudo ("" as root).
#
# apt-get source needs deb-src entries: when the machine has none, they are
# made from its own deb entries for its release, in a file of ours under
# /etc/apt/sources.list.d/.

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
deb_src_me=$(basename "$0" .sh)

has_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$f" && return 0
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eiq '^Types:.*\bdeb-src\b' "$f" && return 0
  done
  return 1
}

# The deb-src twins of the deb entries whose suite is this release's
# (CODENAME or CODENAME-something); other vendors' lists often have no
# sources and would break apt-get update.
deb_src_entries() {
  local codename=$1 f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v rel="$codename" '
      $1 == "deb" {
        i = 2
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == rel || index($(i + 1), rel "-") == 1) { $1 = "deb-src"; print }
      }' "$f" | sed 's/^/one-line: /'
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Stanzas are separated by blank lines; comment lines are dropped and
    # continuation lines (leading space) stay with their field.
    awk -v rel="$codename" '
      function flush(   n, parts, i, kept, line, k) {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && tolower(enabled) != "no") {
          n = split(suites, parts, /[ \t]+/)
          kept = ""
          for (i = 1; i <= n; i++)
            if (parts[i] == rel || index(parts[i], rel "-") == 1) kept = kept " " parts[i]
          if (kept != "") {
            print "Types: deb-src"
            print "Suites:" kept
            for (k = 1; k <= count; k++) print other[k]
            print ""
          }
        }
        types = ""; suites = ""; enabled = ""; count = 0; last = ""
      }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (last == "other") other[count] = other[count] "\n" $0; next }
      {
        field = tolower(substr($0, 1, index($0, ":") - 1))
        value = substr($0, index($0, ":") + 1)
        sub(/^[ \t]+/, "", value)
        if (field == "types") { types = value; last = "types" }
        else if (field == "suites") { suites = value; last = "suites" }
        else if (field == "enabled") { enabled = value; last = "enabled" }
        else { other[++count] = $0; last = "other" }
      }
      END { flush() }' "$f" | sed 's/^/deb822: /'
  done
}

ensure_deb_src() {
  has_deb_src && return 0
  local codename entries
  # shellcheck disable=SC1091  # the machine's own file
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "$deb_src_me: no VERSION_CODENAME in /etc/os-release" >&2; return 1; }
  entries=$(deb_src_entries "$codename")
  if [ -z "$entries" ]; then
    echo "$deb_src_me: no deb entry for $codename to derive a deb-src entry from" >&2
    return 1
  fi
  if grep -q '^deb822: ' <<<"$entries"; then
    sed -n 's/^deb822: //p' <<<"$entries" |
      $sudo tee /etc/apt/sources.list.d/quorvel-deb-src.sources >/dev/null
  fi
  if grep -q '^one-line: ' <<<"$entries"; then
    sed -n 's/^one-line: //p' <<<"$entries" |
      $sudo tee /etc/apt/sources.list.d/quorvel-deb-src.list >/dev/null
  fi
  echo "$deb_src_me: added deb-src entries under /etc/apt/sources.list.d/quorvel-deb-src.*" >&2
  $sudo apt-get update -qq >&2
}

# deb_source PACKAGE VERSION DIR: unpacks source PACKAGE at VERSION in DIR
# and prints the tree's path. When that version cannot be had (the archive
# keeps only the newest few), the newest listed one that can is taken, with
# a warning; debian/changelog in the tree says which.
deb_source() {
  local pkg=$1 version=$2 dir=$3 v best tried=" "
  ensure_deb_src || return 1
  deb_source_try() {
    # A failed try may leave downloads or a half-unpacked tree behind.
    find "$dir" -mindepth 1 -maxdepth 1 \( -name "${pkg}_*" -o -name "$pkg-*" \) -exec rm -rf {} +
    tried+="$1 "
    (cd "$dir" && apt-get source -qq "$pkg=$1" >/dev/null 2>>"$dir/source.log")
  }
  if ! deb_source_try "$version"; then
    # The lists may predate the deb-src entries (another tool added them).
    $sudo apt-get update -qq >&2
    until deb_source_try "$version"; do
      best=""
      for v in $(apt-cache showsrc --only-source "$pkg" 2>/dev/null | sed -n 's/^Version: //p'); do
        [[ $tried == *" $v "* ]] && continue
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
      done
      [ -n "$best" ] || { cat "$dir/source.log" >&2; echo "$deb_src_me: no source of $pkg to be had" >&2; return 1; }
      echo "$deb_src_me: warning: source $pkg $version cannot be had; trying $best" >&2
      version=$best
    done
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -n 1 | grep . ||
    { echo "$deb_src_me: apt-get source $pkg unpacked nothing" >&2; return 1; }
}

# dev_version PACKAGE: the source version of the installed PACKAGE.
dev_version() {
  local v
  v=$(dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true)
  [ -n "$v" ] || { echo "$deb_src_me: $1 is not installed; run scripts/install-deps.sh" >&2; return 1; }
  echo "$v"
}

# build_start WHAT VERSION PREFIX FILE: ends the script, quietly, when
# PREFIX/FILE is there and the stamp in PREFIX says VERSION; otherwise says
# that WHAT is being built and sets work to a new directory, removed at exit.
build_start() {
  stamp=$3/quorvel-build.stamp
  if [ -f "$3/$4" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$2" ]; then
    exit 0
  fi
  echo "$deb_src_me: building $1 $2 for mingw-w64 into $3" >&2
  work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-$deb_src_me.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# build_done VERSION: the stamp, once all is installed.
build_done() {
  echo "$1" | $sudo tee "$stamp" >/dev/null
  echo "$deb_src_me: done" >&2
}
