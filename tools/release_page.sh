#!/usr/bin/env bash
# Writes dist/index.html, the release's page: the video with its first frame
# as the poster, the contact sheet and the screenshots, what the demo needs,
# how to install it, its keys and options, and every file of dist/ with its
# size and SHA-256. Before the page it writes the poster and SHA256SUMS, so
# the page lists the very sums of the files beside it.
#
#   tools/release_page.sh DIST VERSION METAINFO
#
# DIST holds the .deb, the .tar.gz, the videos, the contact sheet and the
# screenshots; METAINFO is the built AppStream file, whose summary,
# description and screenshot captions the page shows. The page is static:
# one file, no scripts, nothing fetched from elsewhere.
set -euo pipefail
dist="$1"
version="$2"
metainfo="$(readlink -f "$3")"

cd "$dist"
deb="$(ls -- *.deb)"
tarball="$(ls -- *.tar.gz)"
# The 1080p video when the release has one, else the 1024 x 768 one.
video="tarnwick-$version.mp4"
[ -f "tarnwick-$version-1080p50.mp4" ] && video="tarnwick-$version-1080p50.mp4"
poster="tarnwick-$version-poster.png"
sheet="tarnwick-$version-contact-sheet.png"

ffmpeg -hide_banner -loglevel error -y -i "$video" -frames:v 1 "$poster"
rm -f SHA256SUMS
sha256sum -- $(ls | grep -v '^index\.html$') > SHA256SUMS

size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$video")"
width="${size%x*}"
height="${size#*x}"
fps="$(ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 "$video")"
fps="$(awk -F/ '{ printf "%g", $1 / $2 }' <<< "$fps")"
seconds="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$video" | awk '{ printf "%.1f", $1 }')"

# The metainfo keeps each element on lines of its own (tools/package).
summary="$(sed -n 's:.*<summary>\(.*\)</summary>.*:\1:p' "$metainfo")"
# The description's first paragraph, its lines joined.
description="$(awk '/<p>/ { n++; next } /<\/p>/ { if (n == 1) exit; next } n == 1 { sub(/^ +/, ""); print }' "$metainfo" |
  paste -s -d ' ')"
release_date="$(sed -n 's:.*<release version="'"$version"'" date="\([^"]*\)".*:\1:p' "$metainfo")"
depends="$(dpkg-deb -f "$deb" Depends | sed 's/ *([^)]*)//g')"
architecture="$(dpkg-deb -f "$deb" Architecture)"
sheet_size="$(identify -format '%w %h' "$sheet")"

human_size() {
  awk -v b="$1" 'BEGIN {
    if (b >= 1048576) printf "%.1f MiB", b / 1048576
    else if (b >= 1024) printf "%.0f KiB", b / 1024
    else printf "%d bytes", b }'
}

# One row per file: its link, its size and its sum. The packages come first,
# then the videos and the pictures, and SHA256SUMS, which has no sum, last.
download_rows() {
  local file bytes sum
  for file in $(ls -- *.deb) $(ls -- *.tar.gz) $(ls -- *.mp4) $(ls | grep -v -e '\.deb$' -e '\.tar\.gz$' -e '\.mp4$' \
                                                   -e '^SHA256SUMS$' -e '^index\.html$') SHA256SUMS; do
    bytes="$(stat -c %s "$file")"
    sum="$(awk -v f="$file" '$2 == f { print $1 }' SHA256SUMS)"
    printf '      <tr data-bytes="%s"><td><a href="%s" download>%s</a></td><td>%s</td><td><code>%s</code></td></tr>\n' \
      "$bytes" "$file" "$file" "$(human_size "$bytes")" "${sum:-the sums of the files above}"
  done
}

# The screenshots the metainfo names, by their file names here, with its captions.
screenshot_figures() {
  awk -F'"' '/<caption>/ { sub(/.*<caption>/, ""); sub(/<\/caption>.*/, ""); caption = $0 }
       /<image/ { file = $0; sub(/<\/image>.*/, "", file); sub(/.*\//, "", file)
                  printf "      <figure><a href=\"%s\"><img src=\"%s\" alt=\"%s\" width=\"%s\" height=\"%s\"></a>", file, file, caption, $4, $6
                  printf "<figcaption>%s</figcaption></figure>\n", caption }' "$metainfo"
}

{
cat <<EOF
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Tarnwick! $version</title>
<meta name="description" content="$summary">
<style>
  :root { color-scheme: dark; }
  body { margin: 0 auto; max-width: 64rem; padding: 1rem; background: #111; color: #e6e6e6;
         font: 1rem/1.5 system-ui, sans-serif; }
  h1 { margin: 0.5rem 0 0; font-size: 2.2rem; }
  h2 { margin-top: 2rem; border-bottom: 1px solid #333; }
  a { color: #f0c674; }
  video { display: block; width: 100%; height: auto; background: #000; }
  img { display: block; max-width: 100%; height: auto; }
  figure { margin: 0 0 1rem; }
  figcaption { color: #aaa; font-size: 0.9rem; }
  .shots { display: grid; grid-template-columns: repeat(auto-fit, minmax(16rem, 1fr)); gap: 0.75rem; }
  pre, code { font-family: ui-monospace, monospace; font-size: 0.85rem; }
  pre { background: #1d1d1d; padding: 0.6rem; overflow-x: auto; }
  table { border-collapse: collapse; width: 100%; }
  td, th { text-align: left; vertical-align: top; padding: 0.3rem 0.5rem 0.3rem 0; border-bottom: 1px solid #262626; }
  .files td:nth-child(3) code { word-break: break-all; }
  .files td:first-child a { word-break: break-all; }
  dt { font-weight: bold; }
  dd { margin: 0 0 0.4rem 1.5rem; }
</style>
</head>
<body>
<header>
  <h1>Tarnwick!</h1>
  <p><strong>$summary.</strong> Version $version, released $release_date.</p>
</header>
<main>
  <p>$description</p>

  <video controls preload="metadata" width="$width" height="$height" poster="$poster" src="$video">
    <a href="$video">The whole run as a video</a>
  </video>
  <p>The whole run as rendered: $width × $height at $fps frames per second, $seconds s, with the music
    (<a href="$video">$video</a>).</p>

  <h2>Pictures</h2>
  <figure><a href="$sheet"><img src="$sheet" alt="Twelve moments of one run, each labelled with its tick and time" width="${sheet_size% *}" height="${sheet_size#* }"></a>
    <figcaption>One run, twelve moments</figcaption></figure>
  <div class="shots">
$(screenshot_figures)
  </div>

  <h2>What it needs</h2>
  <ul>
    <li>Debian 12 ($architecture), or another Linux system with these libraries:
      $depends.</li>
    <li>A graphics driver with OpenGL 3.2 (Mesa's software renderer does; it is slow but correct).</li>
    <li>To record the run to a video: ffmpeg. The recorder needs no display.</li>
  </ul>

  <h2>How to install</h2>
  <pre>sudo apt-get install ./$deb
tarnwick</pre>
  <p>apt pulls in the libraries. <code>tarnwick-capture --fps 25 --out tarnwick.mp4</code> records the whole run
    without a display, <code>man 6 tarnwick</code> tells the rest, and <code>sudo apt-get remove tarnwick</code>
    takes it away again. Without the package manager, unpack the tarball anywhere and run the launcher in it:</p>
  <pre>tar -xzf $tarball
${tarball%.tar.gz}/games/tarnwick</pre>
  <p>Check the files against their sums with <code>sha256sum -c SHA256SUMS</code>.</p>

  <h2>Keys</h2>
  <dl>
    <dt>M</dt><dd>motion blur on, off</dd>
    <dt>B</dt><dd>bloom on, off</dd>
    <dt>Z</dt><dd>shake the picture</dd>
    <dt>F11</dt><dd>full screen, window</dd>
    <dt>Escape</dt><dd>end the run (so does closing the window); it ends by itself after 134.7 s</dd>
  </dl>

  <h2>Options</h2>
  <dl>
    <dt><code>tarnwick --fullscreen</code>, <code>-f</code></dt><dd>start in full screen (the menu entry's
      "Full screen" action does the same)</dd>
    <dt><code>tarnwick --size WxH</code></dt><dd>the window's size, for example <code>--size 1920x1080</code>
      (1024 × 768 unless given)</dd>
    <dt><code>tarnwick --vsync</code>, <code>--no-vsync</code></dt><dd>wait for the screen's refresh
      between frames, or draw as fast as the machine can</dd>
    <dt><code>tarnwick --help</code></dt><dd>the options and keys</dd>
    <dt><code>tarnwick-capture --help</code>, <code>tarnwick-viewer --help</code></dt><dd>the recorder's and
      the viewer's options; their manual pages in section 6 say the same</dd>
  </dl>

  <h2>Files</h2>
  <table class="files">
    <thead><tr><th>File</th><th>Size</th><th>SHA-256</th></tr></thead>
    <tbody>
$(download_rows)
    </tbody>
  </table>
</main>
<footer>
  <p>Tarnwick! $version. The code and everything it generates, the music included, are under the MIT licence.</p>
</footer>
</body>
</html>
EOF
} > index.html
echo "Release page: $(pwd)/index.html"
