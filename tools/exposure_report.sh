#!/usr/bin/env bash
# Samples the whole run every half second of demo time (every 25 ticks from
# tick 10, at 25 frames per second, as the golden frames and the video are
# captured) and prints each sample's share of burnt-out pixels (every channel
# 250 or above) and of pure black ones (every channel 3 or below), its grey
# figures, then the worst of each. Exits 1 when a sample has more than 2 %
# burnt out or 3 % pure black.
#
# Then how the night holds, act by act: the flight over the town (ticks 10 to
# 1060), the five sculpture visits (1085 to 6260) and the final orbit (6285
# to the end), each as the mean over its samples of the median grey, the mean
# grey, the share of pixels at grey 128 or more and the brightest 1 % over the
# median; and, on the street frames (ticks 300 to 1000 and 6300 to 6700,
# every 50), the median of the ground's brightest 1 % over its median, which
# says how the lamps' pools stand out of the night; and at each visit (ticks
# 1600, 2600, ... 5600) how the sculpture stands out of its frame: the mean
# grey inside its box as the camera sees it over that of the rest.
#
#   tools/exposure_report.sh [build folder]      (default: build)
#
# It renders in software: some minutes on the 2-core floor machine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

cmake --build "$build" --target tarnwick_capture
street="$( (seq 300 50 1000; seq 6300 50 6700) | paste -s -d ,)"
visits="1600,2600,3600,4600,5600"
ticks="$( (seq 10 25 6710; seq 300 50 1000; seq 6300 50 6700; tr , '\n' <<<"$visits") | sort -n -u | paste -s -d ,)"
report="$("$build/tools/capture/tarnwick_capture" --run-dir "$build/run" --quiet --fps 25 --report --ticks "$ticks" \
  | tr '\r' '\n' | grep -E '^(tick|Worst)')"
echo "$report"
echo
awk -v street="$street" -v visits="$visits" '
  BEGIN {
    n = split(street, s, ","); for (i = 1; i <= n; i++) isStreet[s[i]] = 1
    n = split(visits, v, ","); for (i = 1; i <= n; i++) isVisit[v[i]] = 1
  }
  /^tick/ {
    tick = $2 + 0
    match($0, /grey median +[0-9]+ mean +[0-9.]+  at 128\+ +[0-9.]+ %  top 1 % \/ median +[0-9.]+  ground +[0-9.]+/)
    split(substr($0, RSTART, RLENGTH), f, " +")
    median = f[3]; mean = f[5]; bright = f[8]; top = f[15]; ground = f[17]
    if (isStreet[tick]) grounds[++streetFrames] = ground
    if (isVisit[tick] && match($0, /subject +[0-9.]+/)) subjects = subjects sprintf("  %d: %s", tick, substr($0, RSTART + 8, RLENGTH - 8) + 0)
    if ((tick - 10) % 25 != 0) next
    act = tick <= 1060 ? 1 : (tick <= 6260 ? 2 : 3)
    count[act]++; sumMedian[act] += median; sumMean[act] += mean; sumBright[act] += bright; sumTop[act] += top
    if (bright > mostBright[act]) mostBright[act] = bright
  }
  END {
    split("flight, ticks 10-1060|sculpture visits, ticks 1085-6260|final orbit, ticks 6285-6710", names, "|")
    printf "%-34s %6s %12s %10s %15s %14s\n", "act", "frames", "median grey", "mean grey", "at 128+ (most)", "top 1 %/median"
    for (a = 1; a <= 3; a++) {
      if (!count[a]) continue
      printf "%-34s %6d %12.1f %10.1f %7.1f %% (%4.1f) %14.2f\n", names[a], count[a], sumMedian[a] / count[a],
             sumMean[a] / count[a], sumBright[a] / count[a], mostBright[a], sumTop[a] / count[a]
    }
    # The median of the street frames ground figures.
    for (i = 1; i <= streetFrames; i++) for (j = i + 1; j <= streetFrames; j++) if (grounds[j] < grounds[i]) { t = grounds[i]; grounds[i] = grounds[j]; grounds[j] = t }
    if (subjects != "") printf "the sculpture against the rest of its frame, mean grey of its visible pixels over that of the rest:%s\n", subjects
    if (streetFrames) printf "street frames: %d, the ground'"'"'s brightest 1 %% over its median: median %.2f (%.2f to %.2f)\n", streetFrames, (grounds[int((streetFrames + 1) / 2)] + grounds[int(streetFrames / 2) + 1]) / 2, grounds[1], grounds[streetFrames]
  }' <<<"$report"
! grep -q '  over$' <<<"$report"
