#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks what it holds: every file a desktop
# expects, each valid by the tools that judge them.
#   CheckPackage.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -G DEB -B "$tmp" > "$tmp/cpack.log") || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/shelvara_*_amd64.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
id=io.github.shelvara.Shelvara
expected=(
    usr/bin/shelvara usr/bin/shelvara-cli usr/bin/shelvara-thumbnailer
    usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml usr/share/mime/packages/$id.xml
    usr/share/thumbnailers/shelvara.thumbnailer usr/share/bash-completion/completions/shelvara-cli
    usr/share/man/man1/shelvara.1.gz usr/share/man/man1/shelvara-cli.1.gz usr/share/man/man1/shelvara-thumbnailer.1.gz
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/48x48/apps/$id.png
    usr/share/icons/hicolor/256x256/apps/$id.png usr/share/icons/hicolor/scalable/mimetypes/application-x-shelvara-library.svg
    usr/lib/systemd/user/shelvara-serve.service usr/share/doc/shelvara/copyright usr/share/doc/shelvara/changelog.gz
    usr/share/shelvara/Russian.lng usr/share/shelvara/English.lng
)
status=0
for f in "${expected[@]}"; do
    grep -qx "./$f" <<<"$files" || { echo "missing from the package: $f"; status=1; }
done
dpkg-deb -f "$deb" Depends | grep -q qt6-translations-l10n || { echo "no dependency on qt6-translations-l10n"; status=1; }
dpkg-deb -x "$deb" "$tmp/root"
root=$tmp/root/usr/share
desktop-file-validate "$root/applications/$id.desktop" || status=1
appstreamcli validate --no-net "$root/metainfo/$id.metainfo.xml" || status=1
xmllint --noout "$root/mime/packages/$id.xml" || status=1
bash -n "$root/bash-completion/completions/shelvara-cli" || status=1
# The completion offers commands, then a command's options.
if [ -f /usr/share/bash-completion/bash_completion ]; then
    complete() {
        bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
                 COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                 _shelvara_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$root/bash-completion/completions/shelvara-cli" "$@"
    }
    complete shelvara-cli se | grep -qx serve || { echo "completion: no serve for se"; status=1; }
    complete shelvara-cli serve lib.sv2 --inc | grep -qx -- --include-deleted ||
        { echo "completion: no --include-deleted for serve"; status=1; }
fi
for page in "$root"/man/man1/*.1.gz; do
    warnings=$(zcat "$page" | groff -man -Tutf8 -z -ww 2>&1 || true)
    [ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
done
if command -v lintian > /dev/null; then
    lintian --fail-on error "$deb" || status=1
fi
exit $status
