# Sourced by the tools that take packages from Debian: the tests on real
# kernels fetch arm64 and armhf packages through a private apt configuration
# on the Debian mirror this machine already uses, cached under $cache (which
# the sourcing script sets); install-needs updates the indexes through it.

# The mirror this machine's apt takes Debian from (deb822 or one-line
# sources): the one that serves its own release, whichever that is. Every
# suite fetched here comes from that mirror.
release() { . /etc/os-release && echo "$VERSION_CODENAME"; }
mirror() {
  local suite
  suite=$(release)
  {
    { cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true; } | awk -v suite="$suite" '
      /^URIs:/ {uri = $2} /^Suites:/ {for (i = 2; i <= NF; i++) if ($i == suite) print uri}'
    { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } | awk -v suite="$suite" '
      $1 == "deb" {for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) {if ($(i + 1) == suite) print $i; break}}'
  } | head -n 1
}

# update_indexes [APT-OPTION...]: apt-get update, where an index that fails
# to download (a mirror caught mid-sync, a foreign architecture's list of
# the wrong size) is named in one line and left out: what the packages need
# still comes from the indexes that did arrive ($failed_indexes names the
# others). Any other failure stops here.
update_indexes() {
  local output
  failed_indexes=""
  output=$(apt-get "$@" -qq update 2>&1) && return 0
  failed_indexes=$(grep -o 'Failed to fetch [^ ]*' <<<"$output" | cut -d' ' -f4 | tr '\n' ' ' || true)
  failed_indexes=${failed_indexes% }
  if [ -z "$failed_indexes" ]; then printf '%s\n' "$output" >&2; return 1; fi
  echo "apt-get update: left out the indexes that failed to download: $failed_indexes"
}

# fetch [--arch ARCH] SUITE DIR PACKAGE...: packages of a Debian suite for
# ARCH (arm64 unless said) unpacked into DIR; "kernel" stands for the
# suite's default kernel image for ARCH, "promtool" for the package that
# holds it (its own from Debian 13, prometheus before).
fetch() {
  local architecture=arm64
  if [ "$1" = --arch ]; then architecture=$2; shift 2; fi
  local suite=$1 into=$2 apt=$cache/apt-$1-$architecture uri
  shift 2
  [ -d "$into" ] && return 0
  uri=$(mirror)
  [ -n "$uri" ] || { echo "qemu-test: no Debian mirror for $(release) in this machine's apt sources"; exit 1; }
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/debs"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite main" > "$apt/sources.list"
  local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
                 -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
                 -o APT::Architecture=$architecture -o APT::Architectures=$architecture -o Debug::NoLocking=1)
  update_indexes "${options[@]}"
  local packages=() package
  for package in "$@"; do
    if [ "$package" = kernel ]; then
      local flavour=$architecture
      [ "$architecture" = armhf ] && flavour=armmp
      package=$(apt-cache "${options[@]}" depends "linux-image-$flavour" | awk '/Depends: linux-image-/ {print $2; exit}')
      [ -n "$package" ] || { echo "qemu-test: no $architecture kernel in $suite"; exit 1; }
    fi
    if [ "$package" = promtool ] && ! apt-cache "${options[@]}" show promtool >/dev/null 2>&1; then
      package=prometheus
    fi
    packages+=("$package")
  done
  rm -f "$apt"/debs/*.deb
  (cd "$apt/debs" && apt-get "${options[@]}" -qq download "${packages[@]}" 2>&1 | grep -v unsandboxed || true)
  mkdir -p "$into.new"
  for deb in "$apt"/debs/*.deb; do dpkg -x "$deb" "$into.new"; done
  mv "$into.new" "$into"
}
