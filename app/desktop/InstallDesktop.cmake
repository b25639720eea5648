# Run by `cmake --install`: the launcher, the menu entry and the icon of an
# installed player, and the marker that sends its settings to the user's folders.
set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(_program "${CMAKE_INSTALL_PREFIX}/lib/orvella-player/OrvellaPlayer")

file(MAKE_DIRECTORY "${_root}/bin")
foreach(_pair "orvella-player;OrvellaPlayer" "orvella;orvella")
  list(GET _pair 0 _link)
  list(GET _pair 1 _target)
  file(REMOVE "${_root}/bin/${_link}")
  file(CREATE_LINK "../lib/orvella-player/${_target}" "${_root}/bin/${_link}" SYMBOLIC)
endforeach()

file(WRITE "${_root}/lib/orvella-player/.installed"
  "Installed program: settings and answer files live in the user's folders.\n")

# Exec argument: double-quoted, with \ " ` $ escaped inside the quotes, % doubled,
# then the string escape of the file format (each \ doubled again).
string(REPLACE "\\" "\\\\" _q "${_program}")
string(REPLACE "\"" "\\\"" _q "${_q}")
string(REPLACE "`" "\\`" _q "${_q}")
string(REPLACE "$" "\\$" _q "${_q}")
string(REPLACE "%" "%%" _q "${_q}")
set(_q "\"${_q}\"")
string(REPLACE "\\" "\\\\" _q "${_q}")

file(WRITE "${_root}/share/applications/orvella-player.desktop"
"[Desktop Entry]
Type=Application
Version=1.4
Name=Orvella Player
GenericName=Media Player
Comment=Play audio, video, network streams and playlists
Exec=${_q} %f
Icon=orvella-player
Terminal=false
Categories=AudioVideo;Audio;Video;Player;
MimeType=audio/x-wav;audio/mpeg;audio/ogg;audio/x-ms-wma;audio/flac;video/x-msvideo;video/mpeg;video/x-flv;video/quicktime;video/x-ms-wmv;video/mp4;video/x-matroska;video/3gpp;audio/x-aiff;audio/aac;audio/ac3;audio/x-ape;audio/mp2;audio/midi;audio/x-mod;audio/x-s3m;audio/x-xm;audio/x-it;audio/x-mo3;
Actions=Enqueue;

[Desktop Action Enqueue]
Name=Add to Orvella Player playlist
Exec=${_q} -enqueue %f
")
