#!/bin/sh
# Builds a small PAL DVD folder (VIDEO_TS) into $1: a root menu (green) and a
# title menu (blue) whose button plays title 1, a root menu whose button calls the
# title menu, and a 12 s title
# with chapters at 0, 4 and 8 s. The disc starts in the title menu. Each menu has one
# button in its middle (260,250)-(460,330), grey, white while highlighted.
set -e
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
menu() {  # colour file
  ffmpeg -nostdin -v error -y -f lavfi -i "color=c=$1:s=720x576:r=25:d=2" -f lavfi -i anullsrc=r=48000:cl=stereo \
    -t 2 -target pal-dvd -aspect 4:3 "$2.mpg"
  # The button: an opaque box on a transparent 4-colour image, grey normally, white when
  # highlighted (a palette of its own, no dithering: spumux takes at most four colours).
  for look in im:gray hl:white; do
    ffmpeg -nostdin -v error -y -f lavfi -i "color=c=black:s=720x576:d=0.04,drawbox=x=260:y=250:w=200:h=80:color=${look#*:}:t=fill,format=rgba,colorkey=black:0.01" \
      -filter_complex "split[a][b];[a]palettegen=max_colors=4:reserve_transparent=1[p];[b][p]paletteuse=dither=none" \
      -frames:v 1 "$2_${look%%:*}.png"
  done
  cat > "$2.xml" <<XML
<subpictures><stream><spu start="00:00:00.00" force="yes" image="$2_im.png" highlight="$2_hl.png" select="$2_hl.png">
<button name="b1" x0="260" y0="250" x1="460" y1="330"/>
</spu></stream></subpictures>
XML
  spumux -m dvd -v 0 "$2.xml" < "$2.mpg" > "$2_btn.mpg" 2>/dev/null
}
menu blue title_menu
menu green root_menu
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=s=720x576:r=25:d=12" -f lavfi -i "sine=f=440:d=12:r=48000" \
  -target pal-dvd -aspect 4:3 title.mpg
cat > dvd.xml <<XML
<dvdauthor dest="$out" jumppad="yes">
  <vmgm>
    <fpc>jump menu entry title;</fpc>
    <menus>
      <pgc entry="title">
        <vob file="title_menu_btn.mpg" pause="inf"/>
        <button name="b1">jump title 1;</button>
      </pgc>
    </menus>
  </vmgm>
  <titleset>
    <menus>
      <pgc entry="root">
        <vob file="root_menu_btn.mpg" pause="inf"/>
        <button name="b1">jump vmgm menu entry title;</button>
      </pgc>
    </menus>
    <titles>
      <pgc>
        <vob file="title.mpg" chapters="0,0:04,0:08"/>
        <post>call menu;</post>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x dvd.xml >/dev/null 2>&1
test -f "$out/VIDEO_TS/VIDEO_TS.IFO"
