/*
 * bass.h - the public C interface of the Orvella audio library (bass.so), interface version 2.4.
 *
 * One header for both sides: the library defines these functions, the engine's run-time loader
 * resolves them by name, so their types cannot drift apart.
 *
 * Threading contract
 *   - Every function may be called from any thread; the library serialises access internally.
 *   - The error code (BASS_ErrorGetCode) is per calling thread.
 *   - STREAMPROC, DSPPROC and mix-time SYNCPROCs run on the library's mixer thread (or, for a
 *     decoding channel, on the thread calling BASS_ChannelGetData). They must not block for long:
 *     a blocking stream procedure stalls every playing channel.
 *   - Other SYNCPROCs run on the library's sync thread, when the position is heard (the device clock
 *     reaches it). After BASS_StreamFree/MusicFree returns, no callback of that channel runs any more
 *     (unless the free was called from inside that channel's own callback).
 *   - Returned pointers (tags, plug-in info) stay valid while their channel / add-on exists.
 *
 * Output selection (environment variables, read by BASS_Init)
 *   ORVELLA_BASS_CAPTURE=/path/out.wav  device 1 writes what would be heard to this WAV file
 *                                       (16-bit PCM stereo at the BASS_Init rate) instead of a
 *                                       sound card. The clock runs in real time...
 *   ORVELLA_BASS_CAPTURE_FAST=1         ...unless this is set: then the device clock runs as fast as
 *                                       the mixer can go. A value N >= 2 runs the clock at N times
 *                                       real time.
 *   ORVELLA_BASS_CAPTURE_FLOAT=1        the capture file holds 32-bit float samples instead.
 *   ORVELLA_BASS_OUTPUT=silent          device 1 uses the silent real-time output even when a sound
 *                                       device exists (tests and headless runs).
 *   ORVELLA_BASS_OUTPUT=sdl             device 1 skips PulseAudio and goes through SDL2.
 *   Otherwise device 1 plays on a running PulseAudio (or PipeWire) server, then through SDL2.
 *   Device 0, or device 1 when no sound device can be opened, is the silent output: time runs in
 *   real time, nothing is heard. Tests can set these variables with setenv() before BASS_Init.
 *
 * Everything timed (positions of playing channels, slides, syncs, BASS_ChannelIsActive while the
 * queued sound drains) follows the device clock of the selected output.
 *
 * Network streams (BASS_StreamCreateURL)
 *   - Schemes: http:// and https:// (libcurl; redirects to http(s) only, at most 5, so at most six
 *     requests); mms:// through FFmpeg's MMS-over-HTTP, then MMS-over-TCP; anything else fails with
 *     BASS_ERROR_NOTAVAIL. The call returns once the headers are in and the format is known, bounded
 *     by BASS_CONFIG_NET_TIMEOUT (ms, default 5000) for the headers and again for the format probe.
 *   - Errors: BASS_ERROR_NONET (cannot connect), BASS_ERROR_TIMEOUT, BASS_ERROR_FILEOPEN (HTTP
 *     error status, too many redirects, broken answer), BASS_ERROR_FILEFORM (a text/HTML answer,
 *     or bytes no decoder takes), BASS_ERROR_NOTAVAIL (unsupported scheme, also a redirect to one).
 *   - A request carries "Icy-MetaData: 1"; a Shoutcast "ICY 200 OK" answer is accepted. Metadata
 *     blocks are removed before any byte reaches a decoder. An answer without Content-Length, with
 *     chunked encoding, with icy-metaint, or longer than 512 MiB is a live broadcast: kept in a ring
 *     of BASS_CONFIG_NET_BUFFER ms (default 5000) at the announced bit rate (icy-br/ice-bitrate, or
 *     the ASF header's of an mms:// stream; 256 kbit/s when none),
 *     never seekable, no length. Other answers are network files: every byte kept in an anonymous
 *     memory file; seekable and with their exact length and ID3v1 tag once the download completes.
 *   - "offset" is sent as a Range request (skipped locally when the server ignores it).
 *   - BASS_CONFIG_NET_PLAYLIST (21) non-zero: a .pls/.m3u answer is followed to its first address.
 *     BASS_CONFIG_NET_AGENT (16) and BASS_CONFIG_NET_PROXY (17) are used when set; PREBUF (15,
 *     default 75) is stored for the engine's pre-buffering.
 *   - DOWNLOADPROC (download thread): with BASS_STREAM_STATUS, the final answer's status and header
 *     lines once, as a zero-separated list with length 0; then every audio byte as it arrives; then
 *     (NULL, 0) at the end. Never called after BASS_StreamFree returns.
 *   - Tags: BASS_TAG_HTTP (HTTP answers) or BASS_TAG_ICY (ICY answers), the status line first;
 *     BASS_TAG_META, the metadata text that goes with what is heard now (raw bytes, as sent);
 *     BASS_TAG_ID3 only once the download is complete; BASS_TAG_ID3V2 and BASS_TAG_OGG as for files.
 *   - Syncs: BASS_SYNC_META when the title text changes, when its position is heard (data 0);
 *     BASS_SYNC_DOWNLOAD once when a network file's download completes; BASS_SYNC_END.
 *   - File positions: CURRENT the decoder's read position, DOWNLOAD the bytes received, END the
 *     file's length (live: the ring's size), START the first audio byte, CONNECTED 1 while the
 *     server is connected, BUFFER the bytes received but not decoded; WMA_BUFFER fails (-1).
 *   - Data that has not arrived makes the channel stall (BASS_ChannelIsActive 2, also for decoding
 *     channels, whose BASS_ChannelGetData then returns 0); it resumes once about half a second is
 *     decoded again. The mixer and API calls never wait on the network.
 */
#ifndef ORVELLA_BASS_H
#define ORVELLA_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef BASSDEF
#define BASSDEF(f) f
#endif
#define CALLBACK

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef DWORD HMUSIC;   /* MOD music handle */
typedef DWORD HSAMPLE;  /* sample handle */
typedef DWORD HCHANNEL; /* playing sample's channel handle */
typedef DWORD HSTREAM;  /* stream handle */
typedef DWORD HRECORD;  /* recording handle */
typedef DWORD HSYNC;    /* synchronizer handle */
typedef DWORD HDSP;     /* DSP handle */
typedef DWORD HFX;      /* effect handle */
typedef DWORD HPLUGIN;  /* add-on handle */

#define BASSVERSION 0x204
#define BASSVERSIONTEXT "2.4"
/* BASS_GetVersion: high word 0x0204, low word the release. */
#define ORVELLA_BASS_VERSION 0x02040001u

/* Error codes (BASS_ErrorGetCode) */
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_BUFLOST 4
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_POSITION 7
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_NOCHAN 18
#define BASS_ERROR_ILLTYPE 19
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_NO3D 21
#define BASS_ERROR_NOEAX 22
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_FREQ 25
#define BASS_ERROR_NOTFILE 27
#define BASS_ERROR_NOHW 29
#define BASS_ERROR_EMPTY 31
#define BASS_ERROR_NONET 32
#define BASS_ERROR_CREATE 33
#define BASS_ERROR_NOFX 34
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_DECODE 38
#define BASS_ERROR_DX 39
#define BASS_ERROR_TIMEOUT 40
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_SPEAKER 42
#define BASS_ERROR_VERSION 43
#define BASS_ERROR_CODEC 44
#define BASS_ERROR_ENDED 45
#define BASS_ERROR_BUSY 46
#define BASS_ERROR_UNKNOWN -1

/* BASS_SetConfig options */
#define BASS_CONFIG_BUFFER 0          /* playback buffer length, ms (default 500) */
#define BASS_CONFIG_UPDATEPERIOD 1    /* stored only: the mixer follows the device period */
#define BASS_CONFIG_GVOL_SAMPLE 4
#define BASS_CONFIG_GVOL_STREAM 5     /* 0..10000 */
#define BASS_CONFIG_GVOL_MUSIC 6      /* 0..10000 */
#define BASS_CONFIG_CURVE_VOL 7
#define BASS_CONFIG_CURVE_PAN 8
#define BASS_CONFIG_FLOATDSP 9
#define BASS_CONFIG_3DALGORITHM 10
#define BASS_CONFIG_NET_TIMEOUT 11
#define BASS_CONFIG_NET_BUFFER 12
#define BASS_CONFIG_PAUSE_NOPLAY 13
#define BASS_CONFIG_NET_PREBUF 15
#define BASS_CONFIG_NET_PASSIVE 18
#define BASS_CONFIG_REC_BUFFER 19
#define BASS_CONFIG_NET_PLAYLIST 21
#define BASS_CONFIG_MUSIC_VIRTUAL 22
#define BASS_CONFIG_VERIFY 23
#define BASS_CONFIG_UPDATETHREADS 24
#define BASS_CONFIG_DEV_BUFFER 27
#define BASS_CONFIG_NET_AGENT 16      /* pointer option */
#define BASS_CONFIG_NET_PROXY 17      /* pointer option */
/* Options of add-ons that the core stores for them */
#define BASS_CONFIG_WMA_PREBUF 0x10101
#define BASS_CONFIG_WMA_BASSFILE 0x10103
#define BASS_CONFIG_CD_FREEOLD 0x10200
/* Our own pointer option: BASS_GetConfigPtr gives the add-on core interface (bass_addon.h). */
#define BASS_CONFIG_ORV_ADDON_API 0x7F0A0001
/* Read only (BASS_GetConfig): times the output ran dry while there was sound to play, since
   BASS_Init. */
#define BASS_CONFIG_ORV_UNDERRUNS 0x7F0A0002

/* BASS_Init flags */
#define BASS_DEVICE_8BITS 1
#define BASS_DEVICE_MONO 2
#define BASS_DEVICE_3D 4
#define BASS_DEVICE_LATENCY 0x100
#define BASS_DEVICE_SPEAKERS 0x800
#define BASS_DEVICE_NOSPEAKER 0x1000

/* BASS_DEVICEINFO flags */
#define BASS_DEVICE_ENABLED 1
#define BASS_DEVICE_DEFAULT 2
#define BASS_DEVICE_INIT 4

typedef struct {
  const char *name;   /* description */
  const char *driver; /* driver */
  DWORD flags;
} BASS_DEVICEINFO;

typedef struct {
  DWORD flags;     /* device capabilities (DSCAPS_xxx) */
  DWORD hwsize;    /* size of total device hardware memory */
  DWORD hwfree;    /* size of free device hardware memory */
  DWORD freesam;   /* number of free sample slots in the hardware */
  DWORD free3d;    /* number of free 3D sample slots in the hardware */
  DWORD minrate;   /* min sample rate supported by the hardware */
  DWORD maxrate;   /* max sample rate supported by the hardware */
  BOOL eax;        /* device supports EAX? (always FALSE here) */
  DWORD minbuf;    /* recommended minimum buffer length in ms */
  DWORD dsver;     /* "DirectSound" version: 9 = effects available */
  DWORD latency;   /* delay (ms) before start of playback */
  DWORD initflags; /* BASS_Init "flags" parameter */
  DWORD speakers;  /* number of speakers available */
  DWORD freq;      /* current output rate */
} BASS_INFO;

typedef struct {
  DWORD flags;
  DWORD formats;
  DWORD inputs;
  BOOL singlein;
  DWORD freq;
} BASS_RECORDINFO;

typedef struct {
  DWORD freq;
  float volume;
  float pan;
  DWORD flags;
  DWORD length;
  DWORD max;
  DWORD origres;
  DWORD chans;
  DWORD mingap;
  DWORD mode3d;
  float mindist;
  float maxdist;
  DWORD iangle;
  DWORD oangle;
  float outvol;
  DWORD vam;
  DWORD priority;
} BASS_SAMPLE;

/* Sample / stream / music flags */
#define BASS_SAMPLE_8BITS 1
#define BASS_SAMPLE_FLOAT 256
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_LOOP 4
#define BASS_SAMPLE_3D 8
#define BASS_SAMPLE_SOFTWARE 0x10
#define BASS_SAMPLE_FX 0x80

#define BASS_STREAM_PRESCAN 0x20000
#define BASS_STREAM_AUTOFREE 0x40000
#define BASS_STREAM_RESTRATE 0x80000
#define BASS_STREAM_BLOCK 0x100000
#define BASS_STREAM_DECODE 0x200000
#define BASS_STREAM_STATUS 0x800000

#define BASS_MUSIC_FLOAT BASS_SAMPLE_FLOAT
#define BASS_MUSIC_MONO BASS_SAMPLE_MONO
#define BASS_MUSIC_LOOP BASS_SAMPLE_LOOP
#define BASS_MUSIC_RAMP 0x200
#define BASS_MUSIC_RAMPS 0x400
#define BASS_MUSIC_SURROUND 0x800
#define BASS_MUSIC_SURROUND2 0x1000
#define BASS_MUSIC_FT2MOD 0x2000
#define BASS_MUSIC_PT1MOD 0x4000
#define BASS_MUSIC_POSRESET 0x8000
#define BASS_MUSIC_NONINTER 0x10000
#define BASS_MUSIC_PRESCAN BASS_STREAM_PRESCAN
#define BASS_MUSIC_AUTOFREE BASS_STREAM_AUTOFREE
#define BASS_MUSIC_DECODE BASS_STREAM_DECODE
#define BASS_MUSIC_NOSAMPLE 0x100000
#define BASS_UNICODE 0x80000000 /* file names are wchar_t strings */

typedef struct {
  DWORD freq;           /* default playback rate */
  DWORD chans;          /* channels */
  DWORD flags;          /* BASS_SAMPLE/STREAM/MUSIC/SPEAKER flags */
  DWORD ctype;          /* type of channel */
  DWORD origres;        /* original resolution in bits (0 for compressed formats) */
  HPLUGIN plugin;       /* add-on that decodes it, 0 for the core */
  HSAMPLE sample;       /* always 0 here */
  const char *filename; /* file name, NULL for memory / user streams */
} BASS_CHANNELINFO;

/* Channel types (ctype) */
#define BASS_CTYPE_SAMPLE 1
#define BASS_CTYPE_RECORD 2
#define BASS_CTYPE_STREAM 0x10000
#define BASS_CTYPE_STREAM_OGG 0x10002
#define BASS_CTYPE_STREAM_MP1 0x10003
#define BASS_CTYPE_STREAM_MP2 0x10004
#define BASS_CTYPE_STREAM_MP3 0x10005
#define BASS_CTYPE_STREAM_AIFF 0x10006
#define BASS_CTYPE_STREAM_CD 0x10200
#define BASS_CTYPE_STREAM_WMA 0x10300
#define BASS_CTYPE_STREAM_WMA_MP3 0x10301
#define BASS_CTYPE_STREAM_WV 0x10500
#define BASS_CTYPE_STREAM_APE 0x10700
#define BASS_CTYPE_STREAM_FLAC 0x10900
#define BASS_CTYPE_STREAM_FLAC_OGG 0x10901
#define BASS_CTYPE_STREAM_MPC 0x10A00
#define BASS_CTYPE_STREAM_AAC 0x10B00
#define BASS_CTYPE_STREAM_MP4 0x10B01
#define BASS_CTYPE_STREAM_SPX 0x10C00
#define BASS_CTYPE_STREAM_MIDI 0x10D00
#define BASS_CTYPE_STREAM_ALAC 0x10E00
#define BASS_CTYPE_STREAM_TTA 0x10F00
#define BASS_CTYPE_STREAM_AC3 0x11000
#define BASS_CTYPE_STREAM_OPUS 0x11200
#define BASS_CTYPE_STREAM_WAV 0x40000 /* + the WAVE format tag */
#define BASS_CTYPE_STREAM_WAV_PCM 0x50001
#define BASS_CTYPE_STREAM_WAV_FLOAT 0x50003
#define BASS_CTYPE_MUSIC_MOD 0x20000
#define BASS_CTYPE_MUSIC_MTM 0x20001
#define BASS_CTYPE_MUSIC_S3M 0x20002
#define BASS_CTYPE_MUSIC_XM 0x20003
#define BASS_CTYPE_MUSIC_IT 0x20004
#define BASS_CTYPE_MUSIC_MO3 0x00100 /* flag added to the music type */

typedef struct {
  DWORD ctype;         /* channel type */
  const char *name;    /* format description */
  const char *exts;    /* file extension filter, "*.aac;*.m4a" */
} BASS_PLUGINFORM;

typedef struct {
  DWORD version;                  /* add-on version, same form as BASS_GetVersion */
  DWORD formatc;                  /* number of formats */
  const BASS_PLUGINFORM *formats; /* the formats */
} BASS_PLUGININFO;

typedef struct BASS_3DVECTOR {
  float x, y, z;
} BASS_3DVECTOR;

/* User file stream procedures (BASS_StreamCreateFileUser) */
typedef void(CALLBACK FILECLOSEPROC)(void *user);
typedef QWORD(CALLBACK FILELENPROC)(void *user);
typedef DWORD(CALLBACK FILEREADPROC)(void *buffer, DWORD length, void *user);
typedef BOOL(CALLBACK FILESEEKPROC)(QWORD offset, void *user);
typedef struct {
  FILECLOSEPROC *close;
  FILELENPROC *length;
  FILEREADPROC *read;
  FILESEEKPROC *seek;
} BASS_FILEPROCS;
#define STREAMFILE_NOBUFFER 0
#define STREAMFILE_BUFFER 1
#define STREAMFILE_BUFFERPUSH 2

/* Stream procedure: fill "buffer" with up to "length" bytes in the stream's sample format and
 * return the count; add BASS_STREAMPROC_END to end the stream after these bytes. */
typedef DWORD(CALLBACK STREAMPROC)(HSTREAM handle, void *buffer, DWORD length, void *user);
#define BASS_STREAMPROC_END 0x80000000
#define STREAMPROC_DUMMY ((STREAMPROC *)0)
#define STREAMPROC_PUSH ((STREAMPROC *)(intptr_t)-1)

typedef void(CALLBACK DOWNLOADPROC)(const void *buffer, DWORD length, void *user);
typedef BOOL(CALLBACK RECORDPROC)(HRECORD handle, const void *buffer, DWORD length, void *user);
typedef void(CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data, void *user);
/* DSP procedure: process "length" bytes of the channel's sample format in place. */
typedef void(CALLBACK DSPPROC)(HDSP handle, DWORD channel, void *buffer, DWORD length, void *user);

/* BASS_StreamGetFilePosition modes */
#define BASS_FILEPOS_CURRENT 0
#define BASS_FILEPOS_DECODE BASS_FILEPOS_CURRENT
#define BASS_FILEPOS_DOWNLOAD 1
#define BASS_FILEPOS_END 2
#define BASS_FILEPOS_START 3
#define BASS_FILEPOS_CONNECTED 4
#define BASS_FILEPOS_BUFFER 5
#define BASS_FILEPOS_WMA_BUFFER 1000

/* Sync types */
#define BASS_SYNC_POS 0
#define BASS_SYNC_END 2
#define BASS_SYNC_META 4
#define BASS_SYNC_SLIDE 5
#define BASS_SYNC_STALL 6
#define BASS_SYNC_DOWNLOAD 7
#define BASS_SYNC_FREE 8
#define BASS_SYNC_SETPOS 11
#define BASS_SYNC_MUSICPOS 10
#define BASS_SYNC_MUSICINST 1
#define BASS_SYNC_MUSICFX 3
#define BASS_SYNC_OGG_CHANGE 12
#define BASS_SYNC_WMA_CHANGE 0x10100
#define BASS_SYNC_WMA_META 0x10101
#define BASS_SYNC_MIDI_LYRIC 0x10002
#define BASS_SYNC_MIXTIME 0x40000000
#define BASS_SYNC_ONETIME 0x80000000

/* BASS_ChannelIsActive */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* Channel attributes */
#define BASS_ATTRIB_FREQ 1
#define BASS_ATTRIB_VOL 2
#define BASS_ATTRIB_PAN 3
#define BASS_ATTRIB_EAXMIX 4
#define BASS_ATTRIB_NOBUFFER 5
#define BASS_ATTRIB_CPU 7
#define BASS_ATTRIB_MUSIC_AMPLIFY 0x100
#define BASS_ATTRIB_MUSIC_PANSEP 0x101
#define BASS_ATTRIB_MUSIC_PSCALER 0x102
#define BASS_ATTRIB_MUSIC_BPM 0x103
#define BASS_ATTRIB_MUSIC_SPEED 0x104
#define BASS_ATTRIB_MUSIC_VOL_GLOBAL 0x105
#define BASS_SLIDE_LOG 0x1000000

/* BASS_ChannelGetData flags */
#define BASS_DATA_AVAILABLE 0
#define BASS_DATA_FLOAT 0x40000000
#define BASS_DATA_FFT256 0x80000000
#define BASS_DATA_FFT512 0x80000001
#define BASS_DATA_FFT1024 0x80000002
#define BASS_DATA_FFT2048 0x80000003
#define BASS_DATA_FFT4096 0x80000004
#define BASS_DATA_FFT8192 0x80000005
#define BASS_DATA_FFT16384 0x80000006
#define BASS_DATA_FFT_INDIVIDUAL 0x10
#define BASS_DATA_FFT_NOWINDOW 0x20
#define BASS_DATA_FFT_REMOVEDC 0x40
#define BASS_DATA_FFT_COMPLEX 0x80

/* BASS_ChannelGetTags types */
#define BASS_TAG_ID3 0
#define BASS_TAG_ID3V2 1
#define BASS_TAG_OGG 2
#define BASS_TAG_HTTP 3
#define BASS_TAG_ICY 4
#define BASS_TAG_META 5
#define BASS_TAG_APE 6
#define BASS_TAG_MP4 7
#define BASS_TAG_WMA 8
#define BASS_TAG_VENDOR 9
#define BASS_TAG_LYRICS3 10
#define BASS_TAG_WMA_META 11
#define BASS_TAG_RIFF_INFO 0x100
#define BASS_TAG_MUSIC_NAME 0x10000
#define BASS_TAG_MUSIC_MESSAGE 0x10001
#define BASS_TAG_MUSIC_INST 0x10100
#define BASS_TAG_MUSIC_SAMPLE 0x10300
#define BASS_TAG_MIDI_TRACK 0x11000

/* Position modes */
#define BASS_POS_BYTE 0
#define BASS_POS_MUSIC_ORDER 1
#define BASS_POS_DECODE 0x10000000

/* Effect types (BASS_ChannelSetFX) */
#define BASS_FX_DX8_CHORUS 0
#define BASS_FX_DX8_COMPRESSOR 1
#define BASS_FX_DX8_DISTORTION 2
#define BASS_FX_DX8_ECHO 3
#define BASS_FX_DX8_FLANGER 4
#define BASS_FX_DX8_GARGLE 5
#define BASS_FX_DX8_I3DL2REVERB 6
#define BASS_FX_DX8_PARAMEQ 7
#define BASS_FX_DX8_REVERB 8

typedef struct {
  float fWetDryMix;  /* 0..100 % of the delayed signal */
  float fFeedback;   /* 0..100 % fed back into the delay line */
  float fLeftDelay;  /* 1..2000 ms */
  float fRightDelay; /* 1..2000 ms */
  BOOL lPanDelay;    /* swap the channels' delay lines on every repetition */
} BASS_DX8_ECHO;

typedef struct {
  float fWetDryMix; /* 0..100 % */
  float fDepth;     /* 0..100 % of the delay swept by the oscillator */
  float fFeedback;  /* -99..99 % */
  float fFrequency; /* 0..10 Hz */
  DWORD lWaveform;  /* 0 triangle, 1 sine */
  float fDelay;     /* 0..4 ms */
  DWORD lPhase;     /* right-left oscillator phase: BASS_DX8_PHASE_xxx */
} BASS_DX8_FLANGER;

typedef struct {
  float fCenter;    /* 80..16000 Hz (below a third of the sample rate) */
  float fBandwidth; /* 1..36 semitones */
  float fGain;      /* -15..15 dB */
} BASS_DX8_PARAMEQ;

typedef struct {
  float fInGain;          /* -96..0 dB */
  float fReverbMix;       /* -96..0 dB */
  float fReverbTime;      /* 0.001..3000 ms */
  float fHighFreqRTRatio; /* 0.001..0.999 */
} BASS_DX8_REVERB;

#define BASS_DX8_PHASE_NEG_180 0
#define BASS_DX8_PHASE_NEG_90 1
#define BASS_DX8_PHASE_ZERO 2
#define BASS_DX8_PHASE_90 3
#define BASS_DX8_PHASE_180 4

/* ---- The 97 exports ---- */
BOOL BASS_SetConfig(DWORD option, DWORD value);
DWORD BASS_GetConfig(DWORD option);
BOOL BASS_SetConfigPtr(DWORD option, const void *value);
const void *BASS_GetConfigPtr(DWORD option);
DWORD BASS_GetVersion(void);
int BASS_ErrorGetCode(void);
BOOL BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO *info);
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *dsguid);
BOOL BASS_SetDevice(DWORD device);
DWORD BASS_GetDevice(void);
BOOL BASS_Free(void);
void *BASS_GetDSoundObject(DWORD object);
BOOL BASS_GetInfo(BASS_INFO *info);
BOOL BASS_Update(DWORD length);
float BASS_GetCPU(void);
BOOL BASS_Start(void);
BOOL BASS_Stop(void);
BOOL BASS_Pause(void);
BOOL BASS_SetVolume(float volume);
float BASS_GetVolume(void);

HPLUGIN BASS_PluginLoad(const char *file, DWORD flags);
BOOL BASS_PluginFree(HPLUGIN handle);
const BASS_PLUGININFO *BASS_PluginGetInfo(HPLUGIN handle);

BOOL BASS_Set3DFactors(float distf, float rollf, float doppf);
BOOL BASS_Get3DFactors(float *distf, float *rollf, float *doppf);
BOOL BASS_Set3DPosition(const BASS_3DVECTOR *pos, const BASS_3DVECTOR *vel, const BASS_3DVECTOR *front,
                        const BASS_3DVECTOR *top);
BOOL BASS_Get3DPosition(BASS_3DVECTOR *pos, BASS_3DVECTOR *vel, BASS_3DVECTOR *front, BASS_3DVECTOR *top);
void BASS_Apply3D(void);
BOOL BASS_SetEAXParameters(int env, float vol, float decay, float damp);
BOOL BASS_GetEAXParameters(DWORD *env, float *vol, float *decay, float *damp);

HMUSIC BASS_MusicLoad(BOOL mem, const void *file, QWORD offset, DWORD length, DWORD flags, DWORD freq);
BOOL BASS_MusicFree(HMUSIC handle);

HSAMPLE BASS_SampleLoad(BOOL mem, const void *file, QWORD offset, DWORD length, DWORD max, DWORD flags);
HSAMPLE BASS_SampleCreate(DWORD length, DWORD freq, DWORD chans, DWORD max, DWORD flags);
BOOL BASS_SampleFree(HSAMPLE handle);
BOOL BASS_SampleSetData(HSAMPLE handle, const void *buffer);
BOOL BASS_SampleGetData(HSAMPLE handle, void *buffer);
BOOL BASS_SampleGetInfo(HSAMPLE handle, BASS_SAMPLE *info);
BOOL BASS_SampleSetInfo(HSAMPLE handle, const BASS_SAMPLE *info);
HCHANNEL BASS_SampleGetChannel(HSAMPLE handle, BOOL onlynew);
DWORD BASS_SampleGetChannels(HSAMPLE handle, HCHANNEL *channels);
BOOL BASS_SampleStop(HSAMPLE handle);

HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC *proc, void *user);
HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user);
HSTREAM BASS_StreamCreateFileUser(DWORD system, DWORD flags, const BASS_FILEPROCS *proc, void *user);
BOOL BASS_StreamFree(HSTREAM handle);
QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);
DWORD BASS_StreamPutData(HSTREAM handle, const void *buffer, DWORD length);
DWORD BASS_StreamPutFileData(HSTREAM handle, const void *buffer, DWORD length);

BOOL BASS_RecordGetDeviceInfo(DWORD device, BASS_DEVICEINFO *info);
BOOL BASS_RecordInit(int device);
BOOL BASS_RecordSetDevice(DWORD device);
DWORD BASS_RecordGetDevice(void);
BOOL BASS_RecordFree(void);
BOOL BASS_RecordGetInfo(BASS_RECORDINFO *info);
const char *BASS_RecordGetInputName(int input);
BOOL BASS_RecordSetInput(int input, DWORD flags, float volume);
DWORD BASS_RecordGetInput(int input, float *volume);
HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc, void *user);

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
DWORD BASS_ChannelGetDevice(DWORD handle);
BOOL BASS_ChannelSetDevice(DWORD handle, DWORD device);
DWORD BASS_ChannelIsActive(DWORD handle);
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info);
const char *BASS_ChannelGetTags(DWORD handle, DWORD tags);
DWORD BASS_ChannelFlags(DWORD handle, DWORD flags, DWORD mask);
BOOL BASS_ChannelUpdate(DWORD handle, DWORD length);
BOOL BASS_ChannelLock(DWORD handle, BOOL lock);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelStop(DWORD handle);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float *value);
BOOL BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time);
BOOL BASS_ChannelIsSliding(DWORD handle, DWORD attrib);
BOOL BASS_ChannelSet3DAttributes(DWORD handle, int mode, float min, float max, int iangle, int oangle,
                                 float outvol);
BOOL BASS_ChannelGet3DAttributes(DWORD handle, DWORD *mode, float *min, float *max, DWORD *iangle,
                                 DWORD *oangle, float *outvol);
BOOL BASS_ChannelSet3DPosition(DWORD handle, const BASS_3DVECTOR *pos, const BASS_3DVECTOR *orient,
                               const BASS_3DVECTOR *vel);
BOOL BASS_ChannelGet3DPosition(DWORD handle, BASS_3DVECTOR *pos, BASS_3DVECTOR *orient, BASS_3DVECTOR *vel);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
DWORD BASS_ChannelGetLevel(DWORD handle);
DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user);
BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);
HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC *proc, void *user, int priority);
BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp);
BOOL BASS_ChannelSetLink(DWORD handle, DWORD chan);
BOOL BASS_ChannelRemoveLink(DWORD handle, DWORD chan);
HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int priority);
BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx);
BOOL BASS_FXSetParameters(HFX handle, const void *params);
BOOL BASS_FXGetParameters(HFX handle, void *params);
BOOL BASS_FXReset(HFX handle);

#define ORVELLA_BASS_EXPORT_COUNT 97
/* X-macro over the 97 exports in the loader's order: X(BASS_SetConfig) ... X(BASS_FXReset). */
#define ORVELLA_BASS_FUNCTIONS(X) \
  X(BASS_SetConfig) \
  X(BASS_GetConfig) \
  X(BASS_SetConfigPtr) \
  X(BASS_GetConfigPtr) \
  X(BASS_GetVersion) \
  X(BASS_ErrorGetCode) \
  X(BASS_GetDeviceInfo) \
  X(BASS_Init) \
  X(BASS_SetDevice) \
  X(BASS_GetDevice) \
  X(BASS_Free) \
  X(BASS_GetDSoundObject) \
  X(BASS_GetInfo) \
  X(BASS_Update) \
  X(BASS_GetCPU) \
  X(BASS_Start) \
  X(BASS_Stop) \
  X(BASS_Pause) \
  X(BASS_SetVolume) \
  X(BASS_GetVolume) \
  X(BASS_PluginLoad) \
  X(BASS_PluginFree) \
  X(BASS_PluginGetInfo) \
  X(BASS_Set3DFactors) \
  X(BASS_Get3DFactors) \
  X(BASS_Set3DPosition) \
  X(BASS_Get3DPosition) \
  X(BASS_Apply3D) \
  X(BASS_SetEAXParameters) \
  X(BASS_GetEAXParameters) \
  X(BASS_MusicLoad) \
  X(BASS_MusicFree) \
  X(BASS_SampleLoad) \
  X(BASS_SampleCreate) \
  X(BASS_SampleFree) \
  X(BASS_SampleSetData) \
  X(BASS_SampleGetData) \
  X(BASS_SampleGetInfo) \
  X(BASS_SampleSetInfo) \
  X(BASS_SampleGetChannel) \
  X(BASS_SampleGetChannels) \
  X(BASS_SampleStop) \
  X(BASS_StreamCreate) \
  X(BASS_StreamCreateFile) \
  X(BASS_StreamCreateURL) \
  X(BASS_StreamCreateFileUser) \
  X(BASS_StreamFree) \
  X(BASS_StreamGetFilePosition) \
  X(BASS_StreamPutData) \
  X(BASS_StreamPutFileData) \
  X(BASS_RecordGetDeviceInfo) \
  X(BASS_RecordInit) \
  X(BASS_RecordSetDevice) \
  X(BASS_RecordGetDevice) \
  X(BASS_RecordFree) \
  X(BASS_RecordGetInfo) \
  X(BASS_RecordGetInputName) \
  X(BASS_RecordSetInput) \
  X(BASS_RecordGetInput) \
  X(BASS_RecordStart) \
  X(BASS_ChannelBytes2Seconds) \
  X(BASS_ChannelSeconds2Bytes) \
  X(BASS_ChannelGetDevice) \
  X(BASS_ChannelSetDevice) \
  X(BASS_ChannelIsActive) \
  X(BASS_ChannelGetInfo) \
  X(BASS_ChannelGetTags) \
  X(BASS_ChannelFlags) \
  X(BASS_ChannelUpdate) \
  X(BASS_ChannelLock) \
  X(BASS_ChannelPlay) \
  X(BASS_ChannelStop) \
  X(BASS_ChannelPause) \
  X(BASS_ChannelSetAttribute) \
  X(BASS_ChannelGetAttribute) \
  X(BASS_ChannelSlideAttribute) \
  X(BASS_ChannelIsSliding) \
  X(BASS_ChannelSet3DAttributes) \
  X(BASS_ChannelGet3DAttributes) \
  X(BASS_ChannelSet3DPosition) \
  X(BASS_ChannelGet3DPosition) \
  X(BASS_ChannelGetLength) \
  X(BASS_ChannelSetPosition) \
  X(BASS_ChannelGetPosition) \
  X(BASS_ChannelGetLevel) \
  X(BASS_ChannelGetData) \
  X(BASS_ChannelSetSync) \
  X(BASS_ChannelRemoveSync) \
  X(BASS_ChannelSetDSP) \
  X(BASS_ChannelRemoveDSP) \
  X(BASS_ChannelSetLink) \
  X(BASS_ChannelRemoveLink) \
  X(BASS_ChannelSetFX) \
  X(BASS_ChannelRemoveFX) \
  X(BASS_FXSetParameters) \
  X(BASS_FXGetParameters) \
  X(BASS_FXReset)

#ifdef __cplusplus
}
#endif

#endif /* ORVELLA_BASS_H */
