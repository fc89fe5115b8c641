#!/bin/sh
# Turns CHANGELOG.md into the package's changelog or the software centres'
# release history, so both say what the one file at the root says.
#
#   changelog.sh debian    CHANGELOG.md VERSION "NAME <ADDRESS>"   (Debian's format)
#   changelog.sh appstream CHANGELOG.md VERSION                    (AppStream <release> elements)
#
# An entry is a heading "## VERSION (YYYY-MM-DD)" followed by "- " items,
# their further lines indented. Fails when the newest entry is not VERSION:
# a release must say what it brings.
set -eu
mode="$1"
changelog="$2"
version="$3"
maintainer="${4:-}"

newest="$(sed -n 's/^## \([^ ]*\) (.*)$/\1/p' "$changelog" | head -n 1)"
if [ "$newest" != "$version" ]; then
    echo "changelog.sh: the newest entry of $changelog is '${newest}', not $version; add an entry for $version" >&2
    exit 1
fi

# Debian's changelog wants each entry's date as RFC 5322 (with the weekday);
# date(1) works it out.
debian_dates="$(sed -n 's/^## [^ ]* (\(.*\))$/\1/p' "$changelog" | while read -r day; do
    LC_ALL=C date -u -R -d "$day 12:00"
done)"

awk -v mode="$mode" -v maintainer="$maintainer" -v dates="$debian_dates" '
function xml(text) {
    gsub(/&/, "\\&amp;", text); gsub(/</, "\\&lt;", text); gsub(/>/, "\\&gt;", text)
    return text
}
function close_item() {
    if (item == "") return
    if (mode == "appstream") print "          <li>" xml(item) "</li>"
    item = ""
}
function close_entry() {
    close_item()
    if (entries == 0) return
    if (mode == "debian") printf "\n -- %s  %s\n", maintainer, date[entries]
    else print "        </ul>\n      </description>\n    </release>"
}
BEGIN { split(dates, date, "\n") }
/^## / {
    close_entry()
    entries++
    version = $2
    day = $3; gsub(/[()]/, "", day)
    if (mode == "debian") printf "%starnwick (%s) unstable; urgency=medium\n\n", (entries > 1 ? "\n" : ""), version
    else printf "    <release version=\"%s\" date=\"%s\">\n      <description>\n        <ul>\n", version, day
    next
}
entries == 0 { next }
/^- / {
    close_item()
    item = substr($0, 3)
    if (mode == "debian") print "  * " item
    next
}
/^  +[^ ]/ && item != "" {
    line = $0; sub(/^ +/, "", line)
    item = item " " line
    if (mode == "debian") print "    " line
}
END { close_entry() }
' "$changelog"
