#!/bin/sh
# Writes the manual page of a launcher (tarnwick-capture, tarnwick-viewer)
# from its program's --help, with help2man, so the page lists the very
# options the program takes. The usage lines name the program as built
# (tarnwick_capture); the page names the command a user types.
#
#   man_from_help.sh PROGRAM COMMAND VERSION SUMMARY INCLUDE OUT
#
# SOURCE_DATE_EPOCH (set by the caller) dates the page, so two builds of one
# release write the same file.
set -eu
program="$1"
command="$2"
version="$3"
summary="$4"
include="$5"
out="$6"

wrapper_dir="$(mktemp -d)"
trap 'rm -rf "$wrapper_dir"' EXIT
# help2man reads "Usage:" and "or:" lines as the synopsis and names the page
# after the file it runs, so it runs a stand-in of that name.
# A program that fails stops the page, rather than leaving one without options.
cat > "$wrapper_dir/$command" <<WRAPPER
#!/bin/sh
help="\$("$program" "\$@")" || exit 1
printf '%s\\n' "\$help" | sed -e 's/^usage: /Usage: /' -e 's/^ \{2,\}\($(basename "$program") \)/  or:  \1/' \\
  -e 's/$(basename "$program")/$command/g'
WRAPPER
chmod +x "$wrapper_dir/$command"

help2man --no-info --section=6 --manual=Games --source="tarnwick $version" \
  --version-string="$version" --name="$summary" --include="$include" \
  --output="$out" "$wrapper_dir/$command"
