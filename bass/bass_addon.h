/*
 * bass_addon.h - the format add-on interface of the Orvella audio library.
 *
 * A format add-on (plugins/bass/bass_flac.so, basswma.so, bassmidi.so, ...) declares its formats and
 * opens streams by handing the core a decoder object; the core does everything else (playback
 * buffer, mixing, attributes and slides, DSP, effects, syncs, positions, BASS_ChannelGetData).
 *
 * Attaching: BASS_PluginLoad(path) dlopens the add-on and calls its exported function
 *   const ORV_ADDON *OrvBassAddonGet(const ORV_CORE_API *core);
 * which returns a record that stays valid until the add-on is unloaded. Add-ons that also export
 * a function family of their own (BASS_MIDI_..., BASS_CD_...) and are loaded by the engine directly
 * get the same core interface with BASS_GetConfigPtr(BASS_CONFIG_ORV_ADDON_API) (they link against
 * bass.so; the already loaded copy is used).
 *
 * Threading contract
 *   - OpenFile / OpenURL run on the thread calling BASS_StreamCreateFile / URL.
 *   - A decoder's functions are called with the channel's lock held, one at a time, from the mixer
 *     thread, from the thread of BASS_ChannelGetData on a decoding channel, or from API calls that
 *     seek or query the channel. A decoder therefore needs no locking of its own.
 *   - close() is called once, from the thread that frees the channel (or BASS_Free).
 *   - The core interface's functions may be called from any thread.
 */
#ifndef ORVELLA_BASS_ADDON_H
#define ORVELLA_BASS_ADDON_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ORV_ADDON_ABI 1
#define ORV_ADDON_ENTRY "OrvBassAddonGet"

/* Bytes of an opened file, memory block or user file (positions are relative to the start of the
 * region the caller named, i.e. after BASS_StreamCreateFile's offset). */
typedef struct ORV_FILE ORV_FILE;

/* A decoder produces interleaved PCM in the format it reports. */
typedef struct ORV_DECODER_FUNCS {
  /* Fill up to "length" bytes (a whole number of frames is asked for); return the count. Set
   * *ended when the stream has no more data (it may return data and end in the same call). A
   * count of 0 without *ended means "nothing available yet" (the channel stalls). */
  DWORD (*read)(void *self, void *buffer, DWORD length, BOOL *ended);
  /* Move to "pos" bytes, sample-exactly; NULL or FALSE when the stream cannot seek. */
  BOOL (*seek)(void *self, QWORD pos);
  /* Length in bytes, (QWORD)-1 when unknown. May be NULL. */
  QWORD (*length)(void *self);
  /* Tag block of a BASS_TAG_xxx type, NULL when absent; valid until close. May be NULL. */
  const char *(*tags)(void *self, DWORD type);
  /* A BASS_FILEPOS_xxx value, (QWORD)-1 when not available. May be NULL. */
  QWORD (*filePosition)(void *self, DWORD mode);
  /* Free everything. */
  void (*close)(void *self);
} ORV_DECODER_FUNCS;

typedef struct ORV_DECODER {
  const ORV_DECODER_FUNCS *funcs;
  void *self;
  DWORD freq;    /* sample rate */
  DWORD chans;   /* channels, 1..8 (more are refused) */
  DWORD flags;   /* format produced: BASS_SAMPLE_8BITS, BASS_SAMPLE_FLOAT or 0 for 16-bit */
  DWORD ctype;   /* BASS_CTYPE_xxx reported by BASS_ChannelGetInfo */
  DWORD origres; /* original resolution in bits, 0 for compressed formats */
} ORV_DECODER;

typedef struct ORV_CORE_API {
  DWORD abi;  /* ORV_ADDON_ABI */
  DWORD size; /* sizeof(ORV_CORE_API) of the core */
  /* Set the calling thread's BASS_ErrorGetCode value. */
  void (*SetError)(int code);

  /* File access, for add-ons that parse the bytes themselves. A user file that cannot seek
   * (BASS_StreamCreateFileUser with STREAMFILE_BUFFER) still goes back to position 0 while formats
   * are being probed: what was read of it so far is given again. */
  ORV_FILE *(*FileOpen)(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
  void (*FileClose)(ORV_FILE *file);
  DWORD (*FileRead)(ORV_FILE *file, void *buffer, DWORD length);
  BOOL (*FileSeek)(ORV_FILE *file, QWORD pos);
  QWORD (*FileTell)(ORV_FILE *file);
  QWORD (*FileSize)(ORV_FILE *file);

  /* The core's FFmpeg decoder. Opens "file" (from position 0) when FFmpeg's demuxer name is in the
   * comma-separated "demuxers" list and the audio codec's name is in "codecs" (NULL = any). The
   * decoder produces the sample format asked by "flags" (BASS_SAMPLE_8BITS / FLOAT / MONO), gives
   * exact lengths (encoder delay and padding removed) and sample-exact seeking; "ctype" is reported
   * as the channel type (0: the core picks one of its own types). The decoder does not own "file":
   * close the decoder first, then the file. */
  BOOL (*OpenFFmpeg)(ORV_FILE *file, DWORD flags, const char *demuxers, const char *codecs, DWORD ctype,
                     ORV_DECODER *out);

  /* Make a channel from a decoder (add-on family functions such as BASS_MIDI_StreamCreateFile).
   * "flags" are the caller's BASS_StreamCreate flags (decode, loop, autofree...). "file", if not
   * NULL, is closed with the channel. "filename" may be NULL. Returns 0 on failure (the decoder
   * is then closed). */
  HSTREAM (*CreateStream)(const ORV_DECODER *decoder, ORV_FILE *file, DWORD flags, HPLUGIN plugin,
                          const char *filename);

  /* Fire the channel's syncs of an add-on's own "type" (BASS_SYNC_MIDI_LYRIC, ...) with "data", for
   * the event at byte position "pos" of the channel's output. Mix-time syncs and syncs of decoding
   * channels are called at once; the others when "pos" is heard. Events of positions left behind by
   * a seek or stop are dropped. Meant to be called from a decoder's read. (Present when "size"
   * covers it.) */
  BOOL (*FireSync)(HSTREAM handle, DWORD type, DWORD data, QWORD pos);

  /* The whole body of an http(s) address, at most "maxBytes" (small files such as MIDI): the
   * download runs on a library thread with BASS_StreamCreateURL's rules (schemes, redirects,
   * BASS_CONFIG_NET_TIMEOUT for connecting and headers, four times that in all) while the caller
   * waits. "proc" gets the status lines (with BASS_STREAM_STATUS), the bytes and the end as for
   * BASS_StreamCreateURL. On success *data (free it with FreeDownload) and *size are set; on failure
   * the error code is set. (Present when "size" covers it.) */
  BOOL (*DownloadURL)(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user, QWORD maxBytes,
                      void **data, QWORD *size);
  void (*FreeDownload)(void *data);

  /* The core's libFLAC decoder for native FLAC files (fLaC after any ID3v2 tags) that can seek:
   * the same output, length, seeks, channel information, tags and positions as OpenFFmpeg gives
   * for them with "flac" as demuxer and codec, without FFmpeg. Fails (BASS_ERROR_FILEFORM, "file"
   * back at 0) for other files and for what it would not decode the same: the caller then tries
   * OpenFFmpeg. Same ownership of "file" as OpenFFmpeg. (Present when "size" covers it.) */
  BOOL (*OpenFlac)(ORV_FILE *file, DWORD flags, ORV_DECODER *out);
} ORV_CORE_API;

typedef struct ORV_ADDON {
  DWORD abi;            /* ORV_ADDON_ABI */
  BASS_PLUGININFO info; /* what BASS_PluginGetInfo answers */
  /* Try to open "file" (positioned at 0) with BASS_StreamCreateFile "flags". Return TRUE and fill
   * *out, or FALSE (after SetError: BASS_ERROR_FILEFORM when the format is not this add-on's). */
  BOOL (*OpenFile)(ORV_FILE *file, DWORD flags, ORV_DECODER *out);
  /* Optional (NULL): open a URL. Same contract. */
  BOOL (*OpenURL)(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user,
                  ORV_DECODER *out);
  /* Optional (NULL): called before the add-on is unloaded. */
  void (*Free)(void);
} ORV_ADDON;

typedef const ORV_ADDON *(ORV_ADDON_GET_PROC)(const ORV_CORE_API *core);

#ifdef __cplusplus
}
#endif

#endif /* ORVELLA_BASS_ADDON_H */
