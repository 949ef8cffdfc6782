#!/usr/bin/env bash
# Makes the Debian package vardenix_<version>_amd64.deb from a Release build
# (in build-package/, with Debian's hardening flags) and checks it with
# lintian, which must report no error.
#
# The version is the project's, then the time of the commit built (UTC), then
# the package revision: 0.1+git202612110508-1. A newer commit, or a higher
# revision of the same one, makes a newer package.
#
# Usage: scripts/package.sh [--revision N] [--output FOLDER]
# Prints the package's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

revision=1
output=$source_dir
while (($#)); do
    case $1 in
    --revision) revision=$2 && shift 2 ;;
    --output) output=$(realpath "$2") && shift 2 ;;
    *) echo "usage: $0 [--revision N] [--output FOLDER]" >&2 && exit 2 ;;
    esac
done

upstream=$(sed -n 's/^project(vardenix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if stamp=$(TZ=UTC git log -1 --format=%cd --date=format-local:%Y%m%d%H%M 2>/dev/null); then
    upstream+="+git$stamp"
    commit=$(git rev-parse --short HEAD)
fi
version=$upstream-$revision

# Debian's flags for a package: hardened, optimised; no debug information,
# since the binary is stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
build="build-package"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVARDENIX_PER_USER_FOLDERS=ON -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target vardenix

# The tools below work in a source-package layout: debian/ with the control
# file, and the package's tree in debian/vardenix.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
umask 022
mkdir "$work/debian"
root=$work/debian/vardenix
DESTDIR=$root cmake --install "$build" >/dev/null

program=$root/usr/lib/vardenix/vardenix
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$program"
gzip -9n "$root/usr/share/man/man1/vardenix.1"

docs=$root/usr/share/doc/vardenix
mkdir -p "$docs" "$root/DEBIAN"
cp packaging/debian/copyright "$docs/"
mkdir -p "$root/usr/share/lintian/overrides"
cp packaging/debian/lintian-overrides "$root/usr/share/lintian/overrides/vardenix"
maintainer="${DEBFULLNAME:-$(git config user.name || echo Vardenix)} <${DEBEMAIL:-$(git config user.email || echo "root@localhost")}>"
sed "s/@MAINTAINER@/$maintainer/" packaging/debian/control >"$work/debian/control"
cat >"$work/debian/changelog" <<EOF
vardenix ($version) unstable; urgency=medium

  * Built from commit ${commit:-(no git)}.

 -- $maintainer  $(date -R -u ${stamp:+-d "$(git log -1 --format=%cI)"})
EOF
gzip -9n <"$work/debian/changelog" >"$docs/changelog.Debian.gz"

install -m 0755 packaging/debian/postinst packaging/debian/postrm "$root/DEBIAN/"

# The libraries the program links, as packages with their versions; the rest
# of Depends in debian/control is what it loads or calls while it runs.
(
    cd "$work"
    dpkg-shlibdeps -Tdebian/vardenix.substvars "debian/vardenix/usr/lib/vardenix/vardenix"
    dpkg-gencontrol -pvardenix -Tdebian/vardenix.substvars -Pdebian/vardenix
)
(cd "$root" && find usr -type f -print0 | sort -z |
    xargs -0 md5sum >DEBIAN/md5sums)

mkdir -p "$output"
package=$output/vardenix_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$package" >/dev/null
if command -v lintian >/dev/null; then
    lintian --fail-on error --info "$package"
fi
echo "$package"
