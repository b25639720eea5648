/*
 * basscd.h - the BASS_CD_ family of basscd.so (audio CD tracks through libcdio, and BIN/CUE images).
 *
 * Shared by the library and the engine's run-time loader: ORVELLA_BASSCD_FUNCTIONS is the fixed list
 * of 22 names the loader resolves.
 *
 * Drives are numbered from 0: first the system's CD drives, then the registered disc images. A
 * drive's letter number is its index (0 = "A"). Tracks are numbered from 0 (track 0 is the disc's
 * first track, "Track01.cda"). Lengths are bytes of 16-bit stereo 44100 Hz PCM (2352 per sector).
 *
 * Disc images: BIN/CUE images become drives when named in the environment variable
 * ORVELLA_CD_IMAGES (cue sheet paths separated by ':') before the first call, or when added with
 * ORV_CD_AddImage (an extra export outside the family).
 *
 * Threading: every function may be called from any thread.
 */
#ifndef ORVELLA_BASSCD_H
#define ORVELLA_BASSCD_H

#include "../bass.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  const char *vendor;  /* manufacturer */
  const char *product; /* model */
  const char *rev;     /* revision */
  int letter;          /* drive letter number: 0 = A */
  DWORD rwflags;       /* BASS_CD_RWFLAG_xxx */
  BOOL canopen;        /* the tray can be opened */
  BOOL canlock;        /* the door can be locked */
  DWORD maxspeed;      /* maximum read speed, KB/s */
  DWORD cache;         /* cache size in KB */
  BOOL cdtext;         /* can read CD-TEXT */
} BASS_CD_INFO;

#define BASS_CD_RWFLAG_READCDR 1
#define BASS_CD_RWFLAG_READCDRW 2
#define BASS_CD_RWFLAG_READDVD 8

/* Error codes of this family */
#define BASS_ERROR_NOCD 12    /* no disc in the drive */
#define BASS_ERROR_CDTRACK 13 /* no such track */
#define BASS_ERROR_NOTAUDIO 17 /* the track is not audio */

/* BASS_CD_Door actions */
#define BASS_CD_DOOR_CLOSE 0
#define BASS_CD_DOOR_OPEN 1
#define BASS_CD_DOOR_LOCK 2
#define BASS_CD_DOOR_UNLOCK 3

/* BASS_CD_GetID ids */
#define BASS_CDID_UPC 1
#define BASS_CDID_CDDB 2 /* "xxxxxxxx" freedb disc id */
#define BASS_CDID_CDDB2 3 /* id, track count, offsets and seconds, as a freedb query needs */

/* BASS_CD_StreamCreate flag: stream a sub-channel-free copy (the only kind here) */
#define BASS_CD_SUBCHANNEL 0x200

/* BASS_CD_GetTrackLength error value */
#define BASS_CD_TRACK_ERROR 0xFFFFFFFFu
#define BASS_CD_TRACK_PREGAP 0x10000

BOOL BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO *info);
BOOL BASS_CD_Door(DWORD drive, DWORD action);
BOOL BASS_CD_DoorIsOpen(DWORD drive);
BOOL BASS_CD_DoorIsLocked(DWORD drive);
BOOL BASS_CD_IsReady(DWORD drive);
DWORD BASS_CD_GetTracks(DWORD drive);
DWORD BASS_CD_GetTrackLength(DWORD drive, DWORD track);
DWORD BASS_CD_GetTrackPregap(DWORD drive, DWORD track);
const char *BASS_CD_GetID(DWORD drive, DWORD id);
DWORD BASS_CD_GetSpeed(DWORD drive);
BOOL BASS_CD_SetSpeed(DWORD drive, float speed);
BOOL BASS_CD_SetOffset(DWORD drive, int offset);
BOOL BASS_CD_Release(DWORD drive);
HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags);
HSTREAM BASS_CD_StreamCreateFile(const char *file, DWORD flags);
DWORD BASS_CD_StreamGetTrack(HSTREAM handle);
BOOL BASS_CD_StreamSetTrack(HSTREAM handle, DWORD track);
BOOL BASS_CD_Analog_Play(DWORD drive, DWORD track, DWORD pos);
DWORD BASS_CD_Analog_PlayFile(const char *file, DWORD pos);
BOOL BASS_CD_Analog_Stop(DWORD drive);
DWORD BASS_CD_Analog_IsActive(DWORD drive);
DWORD BASS_CD_Analog_GetPosition(DWORD drive);

/* Outside the family: register a BIN/CUE image as the next drive; returns its drive number or
 * (DWORD)-1 with the error code set (BASS_ERROR_FILEOPEN, BASS_ERROR_FILEFORM). */
DWORD ORV_CD_AddImage(const char *cuePath);
/* Outside the family: forget every registered image (streams of them keep their own copy). */
void ORV_CD_ClearImages(void);

/* X-macro over the 22 names in the loader's order. */
#define ORVELLA_BASSCD_FUNCTIONS(X) \
  X(BASS_CD_GetInfo) \
  X(BASS_CD_Door) \
  X(BASS_CD_DoorIsOpen) \
  X(BASS_CD_DoorIsLocked) \
  X(BASS_CD_IsReady) \
  X(BASS_CD_GetTracks) \
  X(BASS_CD_GetTrackLength) \
  X(BASS_CD_GetTrackPregap) \
  X(BASS_CD_GetID) \
  X(BASS_CD_GetSpeed) \
  X(BASS_CD_SetSpeed) \
  X(BASS_CD_SetOffset) \
  X(BASS_CD_Release) \
  X(BASS_CD_StreamCreate) \
  X(BASS_CD_StreamCreateFile) \
  X(BASS_CD_StreamGetTrack) \
  X(BASS_CD_StreamSetTrack) \
  X(BASS_CD_Analog_Play) \
  X(BASS_CD_Analog_PlayFile) \
  X(BASS_CD_Analog_Stop) \
  X(BASS_CD_Analog_IsActive) \
  X(BASS_CD_Analog_GetPosition)
#define ORVELLA_BASSCD_FUNCTION_COUNT 22

#ifdef __cplusplus
}
#endif

#endif /* ORVELLA_BASSCD_H */
