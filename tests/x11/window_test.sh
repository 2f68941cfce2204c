#!/usr/bin/env bash
# The window under a real X server and window manager, driven with real mouse and key events
# as a person drives it, and read back as the window system shows it:
#   - the caption is exactly the program's title;
#   - the window's frame, and the colour dialog's, sit centred on the screen, and at twice the
#     scale, wider than the screen, the frame still starts on it;
#   - after a refused size, a name typed and saved is the picture saved;
#   - opening and closing every dialog writes nothing under HOME;
#   - the pad's undo and both redo keys.
set -euo pipefail
bin=$1
work=$(mktemp -d)
app="" wm="" xvfb=""
cleanup() {
  for pid in $app $wm $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -s "$work/app.log" ] && sed 's/^/  program: /' "$work/app.log"
  [ -s "$work/wm.log" ] && sed 's/^/  window manager: /' "$work/wm.log"
  kill -0 "$wm" 2>/dev/null || echo "  the window manager is gone"
  [ -n "$app" ] && ! kill -0 "$app" 2>/dev/null && echo "  the program is gone"
  # What the program shows at that moment, and which window has the keys.
  if [ -n "$app" ]; then
    for w in $(xdotool search --onlyvisible --pid "$app" --name "" 2>/dev/null); do
      echo "  window $w: $(xdotool getwindowname "$w" 2>/dev/null)"
    done
    echo "  the keys go to: $(xdotool getactivewindow getwindowname 2>/dev/null)"
  fi
  exit 1
}

export HOME=$work/home XDG_CONFIG_HOME="" XDG_DATA_HOME="" XDG_CACHE_HOME=$work/cache
mkdir -p "$HOME"
unset QT_QPA_PLATFORM
for n in $(seq 120 160); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# Openbox runs its --startup command once it manages windows.
openbox --startup "touch $work/wm-ready" >"$work/wm.log" 2>&1 &
wm=$!
for _ in $(seq 300); do [ -e "$work/wm-ready" ] && break; sleep 0.1; done
[ -e "$work/wm-ready" ] || fail "the window manager did not start"

# Where a window's frame is, as "x y w h", from the window manager's frame extents; nothing
# while the window is not framed.
frame_of() {
  local id=$1 x y w h l r t b extents
  extents=$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null) || return 0
  [[ "$extents" == *=* ]] || return 0
  read -r l r t b < <(sed 's/.*= //; s/,//g' <<<"$extents")
  eval "$(xwininfo -id "$id" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4} /Width:/{print "w="$2} /Height:/{print "h="$2}')"
  echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
# The frame ends up centred: the window manager frames a window as it appears, and the
# program centres it once it knows the frame.
centred() {
  local what=$1 frame="" x y w h
  for _ in $(seq 100); do
    frame=$(frame_of "$2")
    if [ -n "$frame" ]; then
      read -r x y w h <<<"$frame"
      [ "$x" -eq $(((1280 - w) / 2)) ] && [ "$y" -eq $(((1024 - h) / 2)) ] && return
    fi
    sleep 0.1
  done
  [ -n "$frame" ] || fail "$what window was never framed: $(xprop -id "$2" WM_STATE _NET_WM_STATE 2>&1 | tr '\n' ' ')"
  fail "$what frame at $x,$y (${w}x$h); centred is $(((1280 - w) / 2)),$(((1024 - h) / 2))"
}
# The first visible window of the program other than the main one.
dialog() {
  local id
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
      [ "$id" != "$main" ] && [[ "$(xprop -id "$id" _NET_FRAME_EXTENTS 2>/dev/null || true)" == *=* ]] && { echo "$id"; return; }
    done
    sleep 0.1
  done
  fail "no dialog opened"
}
# Waits until a window is no longer shown.
closed() {
  for _ in $(seq 300); do
    [[ "$(xwininfo -id "$1" 2>/dev/null || true)" == *IsViewable* ]] || return 0
    sleep 0.1
  done
  fail "$2 did not close"
}
caption() { xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed 's/^[^"]*"//; s/"$//'; }
# The program's shown window whose caption is exactly this (xdotool's own search by name is a
# pattern over whichever name property it reads, and can answer with another window).
window_named() {
  local id
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
      [ "$(caption "$id")" = "$1" ] && { echo "$id"; return; }
    done
    sleep 0.1
  done
}
# Real key presses, as a person types them into the active window.
press() {
  timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  timeout 5 xdotool key "$2"
}

# Types into a dialog once it has the keys: a busy machine (the sanitizer suite) can take
# longer to hand them over than a window takes to appear, and keys typed before go elsewhere.
type_into() {
  local name has
  name=$(caption "$1")
  for _ in $(seq 100); do
    has=$(caption "$(xdotool getactivewindow 2>/dev/null)")
    [ -n "$name" ] && [ "$has" = "$name" ] && break
    timeout 2 xdotool windowactivate "$1" >/dev/null 2>&1 || true
    sleep 0.1
  done
  [ -n "$name" ] && [ "$has" = "$name" ] || fail "$3 (\"$name\") never took the keys (\"$has\" has them)"
  timeout 10 xdotool type --delay 10 "$2"
}

"$bin/sorvex-sign" >"$work/app.log" 2>&1 &
app=$!
main=""
for _ in $(seq 300); do
  main=$(xdotool search --onlyvisible --pid "$app" --name "Sorvex" 2>/dev/null | head -n 1) || true
  [ -n "$main" ] && break
  sleep 0.1
done
[ -n "$main" ] || fail "the window did not open: $(xwininfo -root -children 2>&1 | tail -n 5)"

title=$(caption "$main")
[ "$title" = "Sorvex签名设计软件 免费版" ] || fail "the caption reads \"$title\""
centred "the main window's" "$main"

# The colour label, then Escape.
xdotool mousemove --window "$main" 606 196 click 1
colour=$(dialog)
centred "the colour dialog's" "$colour"
[ "$(caption "$colour")" != "" ] || fail "the colour dialog has no title"
press "$colour" Escape
closed "$colour" "the colour dialog"

# The save dialog through Ctrl+S, then Escape.
press "$main" ctrl+s
save=$(dialog)
save_title=$(caption "$save")
[ "$save_title" = "保存签名图片" ] || fail "the save dialog's caption reads \"$save_title\""
press "$save" Escape
closed "$save" "the save dialog"

# A refused size does not keep a new name from being drawn and saved: "abc" and Enter in the
# size box (a warning), then a name typed in the name box (in letters: xdotool types other
# characters by remapping a key, which a busy machine can lose), then saved. The file holds
# that name at the last good size, exactly as the renderer draws it.
xdotool mousemove --window "$main" 606 236 click 1
press "$main" ctrl+a
timeout 5 xdotool type --delay 20 abc
press "$main" Return
warning=$(dialog)
press "$warning" Return
closed "$warning" "the size warning"
xdotool mousemove --window "$main" 144 119 click 1
press "$main" ctrl+a
timeout 5 xdotool type --delay 50 LiBai
press "$main" ctrl+s
save=$(dialog)
type_into "$save" "$work/li.png" "the save dialog"
press "$save" Return
saved=$(dialog)
press "$saved" Return
closed "$saved" "the saved message"
[ -f "$work/li.png" ] || fail "nothing was saved at $work/li.png"
QT_QPA_PLATFORM=offscreen "$bin/sorvex-sign-render" --cn LiBai -o "$work/reference.png" >/dev/null 2>&1 ||
  fail "the renderer could not draw the reference"
/usr/bin/python3 "$(dirname "$0")/same_pixels.py" "$work/li.png" "$work/reference.png" ||
  fail "the saved picture is not LiBai as the renderer draws it"
rm -f "$work/li.png" "$work/reference.png"

# Signing a document: Ctrl+O in the main window, its path typed in the open dialog; the
# signature pressed and dragged over the page with real mouse moves, up and to the left of the
# page's middle; Ctrl+S and a path typed. The signed copy holds the signature where it was
# dragged, placed exactly as the renderer's --stamp places it for the same page, place and width.
tool="/usr/bin/python3 $(dirname "$0")/pdf_tool.py"
$tool document "$work/contract.pdf" 2
press "$main" ctrl+o
open=$(window_named "打开要签署的 PDF 文档")
[ -n "$open" ] || fail "Ctrl+O opened no open dialog"
type_into "$open" "$work/contract.pdf" "the open dialog"
press "$open" Return
# The signing window, its caption naming the document once it is open.
sign=$(window_named "contract.pdf - 签署文档")
[ -n "$sign" ] || fail "the signing window did not open the document"
eval "$(xwininfo -id "$sign" | awk '/Absolute upper-left X/{print "sx="$4} /Absolute upper-left Y/{print "sy="$4} /Width:/{print "sw="$2} /Height:/{print "sh="$2}')"
cx=$((sx + sw / 2)) cy=$((sy + sh / 2))
# Brought to the front as a person does, by its title bar.
xdotool mousemove "$cx" $((sy - 8)) click 1
sleep 0.3
xdotool mousemove "$cx" "$cy" mousedown 1
for step in $(seq 1 15); do
  xdotool mousemove $((cx - step * 6)) $((cy - step * 10))
  sleep 0.02
done
xdotool mouseup 1
# The keys go to the window in front, the signing window.
timeout 5 xdotool key ctrl+s
save=$(window_named "保存签署后的文档")
[ -n "$save" ] || fail "Ctrl+S in the signing window opened no save dialog"
type_into "$save" "$work/signed.pdf" "the signing window's save dialog"
press "$save" Return
for _ in $(seq 300); do [ -f "$work/signed.pdf" ] && break; sleep 0.1; done
[ -f "$work/signed.pdf" ] || fail "the signing window saved nothing"
# What was saved is said over the signing window, not the main window raised over it; Enter
# answers its question No.
saved=$(window_named "保存签署后的文档")
[ -n "$saved" ] || fail "signing said nothing"
owner=$(xprop -id "$saved" WM_TRANSIENT_FOR | grep -o '0x[0-9a-f]*')
[ "$((owner))" = "$sign" ] || fail "what signing said belongs to window $((owner)), not the signing window $sign"
press "$saved" Return
read -r left top width <<<"$($tool place "$work/signed.pdf")"
# Up and to the left of the middle of the page (105 x 148.5 mm), where it was dragged.
awk -v l="$left" -v t="$top" -v w="$width" 'BEGIN { exit !(l + w / 2 < 100 && t < 140) }' ||
  fail "the signature is at $left,$top mm, not where it was dragged"
QT_QPA_PLATFORM=offscreen "$bin/sorvex-sign-render" --cn LiBai --stamp "$work/contract.pdf" \
  --at "$left,$top" --width "$width" -o "$work/reference.pdf" >/dev/null 2>&1 ||
  fail "the renderer could not stamp the reference"
read -r rleft rtop rwidth <<<"$($tool place "$work/reference.pdf")"
awk -v a="$left $top $width" -v b="$rleft $rtop $rwidth" 'BEGIN {
  split(a, x, " "); split(b, y, " ")
  for (i = 1; i <= 3; ++i) if ((x[i] - y[i]) > 0.18 || (y[i] - x[i]) > 0.18) exit 1 }' ||
  fail "the window put the signature at $left,$top ($width mm), the renderer at $rleft,$rtop ($rwidth mm)"
xdotool mousemove "$cx" $((sy - 8)) click 1
timeout 5 xdotool key alt+F4
closed "$sign" "the signing window"

# Closed as a person closes it.
press "$main" alt+F4
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the window did not close"
app=""
# At twice the scale the window is wider than the screen: its frame starts on the screen, so
# that the title bar and its close button can be reached.
QT_SCALE_FACTOR=2 "$bin/sorvex-sign" >"$work/app.log" 2>&1 &
app=$!
main=""
for _ in $(seq 300); do
  main=$(xdotool search --onlyvisible --pid "$app" --name "Sorvex" 2>/dev/null | head -n 1) || true
  [ -n "$main" ] && frame=$(frame_of "$main") && [ -n "$frame" ] && break
  sleep 0.1
done
[ -n "$main" ] || fail "the window did not open at twice the scale"
sleep 0.5
read -r x y w h <<<"$(frame_of "$main")"
{ [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ "$w" -gt 1280 ]; } ||
  fail "at twice the scale the frame is at $x,$y (${w}x$h)"
press "$main" alt+F4
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the window did not close at twice the scale"
app=""

left=$(find "$HOME" -mindepth 1 | head -n 5)
[ -z "$left" ] || fail "files were written under HOME: $left"
# The pad, under the platform whose keys it reads: two strokes written with the mouse, both
# undone with Ctrl+Z, redone one with Ctrl+Shift+Z and one with Ctrl+Y, and kept with Enter.
"$bin/sorvex-sign" >"$work/app.log" 2>&1 &
app=$!
main=$(window_named "Sorvex签名设计软件 免费版")
[ -n "$main" ] || fail "the window did not open again"
xdotool mousemove --window "$main" 489 288 click 1
pad=$(window_named "手绘签名 - Sorvex签名设计")
[ -n "$pad" ] || fail "the 手绘签名 button opened no pad"
eval "$(xwininfo -id "$pad" | awk '/Absolute upper-left X/{print "px="$4} /Absolute upper-left Y/{print "py="$4} /Width:/{print "pw="$2} /Height:/{print "ph="$2}')"
for row in 0 1; do
  y=$((py + ph / 3 + row * ph / 5))
  xdotool mousemove $((px + pw / 4)) "$y" mousedown 1
  for step in $(seq 1 20); do
    xdotool mousemove $((px + pw / 4 + step * pw / 40)) $((y + (step % 5) * 6))
    sleep 0.02
  done
  xdotool mouseup 1
done
for keys in ctrl+z ctrl+z ctrl+shift+z ctrl+y Return; do press "$pad" "$keys"; done
kept=$(window_named "手绘签名")
[ -n "$kept" ] || fail "Enter in the pad kept nothing"
press "$kept" Return
drawn=$(find "$HOME" -name drawn.json | head -n 1)
[ -n "$drawn" ] || fail "no drawn.json under HOME"
strokes=$(/usr/bin/python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["strokes"]))' "$drawn")
[ "$strokes" = 2 ] || fail "the pad kept $strokes strokes of the 2 written, undone and redone by keys"
press "$main" alt+F4
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
app=""

echo "caption, centring, a clean HOME and the pad's keys as the window system shows them"
