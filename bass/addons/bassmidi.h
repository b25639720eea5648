/*
 * bassmidi.h - the BASS_MIDI_ family of bassmidi.so (MIDI files rendered with soundfonts).
 *
 * Shared by the library and the engine's run-time loader: ORVELLA_BASSMIDI_FUNCTIONS is the fixed
 * list of 19 names the loader resolves, so the two cannot drift apart.
 *
 * Threading: every function may be called from any thread. Positions and lengths are bytes of the
 * stream's output format (16-bit stereo unless BASS_SAMPLE_FLOAT / BASS_SAMPLE_MONO were asked).
 * Pointers returned in records (names, mark texts) stay valid while the font / stream exists.
 */
#ifndef ORVELLA_BASSMIDI_H
#define ORVELLA_BASSMIDI_H

#include "../bass.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef DWORD HSOUNDFONT;

/* Options stored by the core for us (BASS_SetConfig) */
#define BASS_CONFIG_MIDI_COMPACT 0x10400
#define BASS_CONFIG_MIDI_VOICES 0x10401
#define BASS_CONFIG_MIDI_AUTOFONT 0x10402

/* BASS_MIDI_FontInit flags */
#define BASS_MIDI_FONT_MEM 0x10000

/* A font assignment: preset -1 = every preset of the font; bank is the bank it serves. */
typedef struct {
  HSOUNDFONT font;
  int preset;
  int bank;
} BASS_MIDI_FONT;

typedef struct {
  const char *name;      /* INAM of the soundfont */
  const char *copyright; /* ICOP */
  const char *comment;   /* ICMT */
  DWORD presets;         /* number of presets */
  DWORD samsize;         /* bytes of sample data */
  DWORD samload;         /* bytes of sample data loaded now */
  DWORD samtype;         /* 0: plain 16-bit samples */
} BASS_MIDI_FONTINFO;

typedef struct {
  DWORD track; /* track holding the event */
  DWORD pos;   /* position in bytes of the stream's output */
  const char *text;
} BASS_MIDI_MARK;

/* Mark types (BASS_MIDI_StreamGetMark) */
#define BASS_MIDI_MARK_MARKER 0 /* marker events (meta 6) */
#define BASS_MIDI_MARK_CUE 1    /* cue points (meta 7) */
#define BASS_MIDI_MARK_LYRIC 2  /* lyric events (meta 5; text events of karaoke files) */
#define BASS_MIDI_MARK_TEXT 3   /* text events (meta 1) */
#define BASS_MIDI_MARK_TIMESIG 4 /* time signatures, text "numerator/denominator/clocks/32nds" */
#define BASS_MIDI_MARK_KEYSIG 5 /* key signatures, text "sharps/minor" */
#define BASS_MIDI_MARK_COPY 6   /* copyright notices (meta 2) */
#define BASS_MIDI_MARK_TRACK 7  /* track names (meta 3) */
#define BASS_MIDI_MARK_INST 8   /* instrument names (meta 4) */

/* BASS_MIDI_StreamEvent / GetEvent event types */
#define MIDI_EVENT_NOTE 1     /* param: LOBYTE key, HIBYTE velocity (0 = release) */
#define MIDI_EVENT_PROGRAM 2  /* param: program 0..127 */
#define MIDI_EVENT_CHANPRES 3
#define MIDI_EVENT_PITCH 4    /* param: 0..16383, 8192 centre */
#define MIDI_EVENT_PITCHRANGE 5
#define MIDI_EVENT_BANK 10
#define MIDI_EVENT_MODULATION 11
#define MIDI_EVENT_VOLUME 12
#define MIDI_EVENT_PAN 13
#define MIDI_EVENT_EXPRESSION 14
#define MIDI_EVENT_SUSTAIN 15
#define MIDI_EVENT_SOUNDOFF 16
#define MIDI_EVENT_RESET 17
#define MIDI_EVENT_NOTESOFF 18
#define MIDI_EVENT_TEMPO 62   /* param: microseconds per quarter note (file streams only) */

/* Sync type: a lyric mark is reached; the sync's data is the mark index. */
#define BASS_SYNC_MIDI_MARK_LYRIC BASS_SYNC_MIDI_LYRIC

HSTREAM BASS_MIDI_StreamCreate(DWORD channels, DWORD flags, DWORD freq);
HSTREAM BASS_MIDI_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags,
                                   DWORD freq);
HSTREAM BASS_MIDI_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user,
                                  DWORD freq);
HSTREAM BASS_MIDI_StreamCreateFileUser(DWORD system, DWORD flags, const BASS_FILEPROCS *procs, void *user,
                                       DWORD freq);
BOOL BASS_MIDI_StreamGetMark(HSTREAM handle, DWORD type, DWORD index, BASS_MIDI_MARK *mark);
DWORD BASS_MIDI_StreamGetMarkCount(HSTREAM handle, DWORD type);
BOOL BASS_MIDI_StreamSetFonts(HSTREAM handle, const BASS_MIDI_FONT *fonts, DWORD count);
DWORD BASS_MIDI_StreamGetFonts(HSTREAM handle, BASS_MIDI_FONT *fonts, DWORD count);
BOOL BASS_MIDI_StreamLoadSamples(HSTREAM handle);
BOOL BASS_MIDI_StreamEvent(HSTREAM handle, DWORD chan, DWORD event, DWORD param);
DWORD BASS_MIDI_StreamGetEvent(HSTREAM handle, DWORD chan, DWORD event);
DWORD BASS_MIDI_StreamGetTrackCount(HSTREAM handle);
HSOUNDFONT BASS_MIDI_FontInit(const void *file, DWORD flags);
BOOL BASS_MIDI_FontFree(HSOUNDFONT handle);
BOOL BASS_MIDI_FontGetInfo(HSOUNDFONT handle, BASS_MIDI_FONTINFO *info);
const char *BASS_MIDI_FontGetPreset(HSOUNDFONT handle, int preset, int bank);
BOOL BASS_MIDI_FontLoad(HSOUNDFONT handle, int preset, int bank);
BOOL BASS_MIDI_FontSetVolume(HSOUNDFONT handle, float volume);
float BASS_MIDI_FontGetVolume(HSOUNDFONT handle);

/* X-macro over the 19 names in the loader's order. */
#define ORVELLA_BASSMIDI_FUNCTIONS(X) \
  X(BASS_MIDI_StreamCreate) \
  X(BASS_MIDI_StreamCreateFile) \
  X(BASS_MIDI_StreamCreateURL) \
  X(BASS_MIDI_StreamCreateFileUser) \
  X(BASS_MIDI_StreamGetMark) \
  X(BASS_MIDI_StreamGetMarkCount) \
  X(BASS_MIDI_StreamSetFonts) \
  X(BASS_MIDI_StreamGetFonts) \
  X(BASS_MIDI_StreamLoadSamples) \
  X(BASS_MIDI_StreamEvent) \
  X(BASS_MIDI_StreamGetEvent) \
  X(BASS_MIDI_StreamGetTrackCount) \
  X(BASS_MIDI_FontInit) \
  X(BASS_MIDI_FontFree) \
  X(BASS_MIDI_FontGetInfo) \
  X(BASS_MIDI_FontGetPreset) \
  X(BASS_MIDI_FontLoad) \
  X(BASS_MIDI_FontSetVolume) \
  X(BASS_MIDI_FontGetVolume)
#define ORVELLA_BASSMIDI_FUNCTION_COUNT 19

#ifdef __cplusplus
}
#endif

#endif /* ORVELLA_BASSMIDI_H */
