/* Orvella Player plug-in SDK: the channel information record the host keeps
 * for the playing input plug-in (filled from SetInfo and from the output's
 * format) and hands to the program by address. */
#ifndef ORVELLA_SDK_WINAMP_CHANNEL_INFO_H
#define ORVELLA_SDK_WINAMP_CHANNEL_INFO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ChannelInfo {
  int16_t BitsPerSample; /* 8 or 16 */
  int32_t BitRate;       /* as the plug-in reports it */
  int32_t SampleRate;    /* Hz */
  int16_t Channels;
} ChannelInfo;

#ifdef __cplusplus
}
#endif

#endif
