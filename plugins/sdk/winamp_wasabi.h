/* Orvella Player plug-in SDK: the Wasabi service manager (C++ plug-ins).
 *
 * Query 3025 (IPC_GET_API_SERVICE) answers the host's service manager, a
 * Dispatchable: an object whose first virtual function is _dispatch. Each
 * parameter is a pointer to the argument's value; the result goes through
 * `retval`. _dispatch answers 1 when it handled the message, 0 otherwise.
 *
 * Manager: message 50 (getServiceByGuid) with one parameter pointing to the
 * 16-byte identifier {30AED4E5-EF10-4277-8D49-27AB5570E891} sets *retval to the
 * service object (a Dispatchable too). The service object answers message 30
 * with 0xDEADC0DE and 300 with itself; resource loads (10, 11, 50 to 54) find no
 * resources on this platform and give 0.
 *
 * Threads: the objects live for the whole run and may be called from any thread. */
#ifndef ORVELLA_SDK_WINAMP_WASABI_H
#define ORVELLA_SDK_WINAMP_WASABI_H

#ifdef __cplusplus
#include <stdint.h>

class Dispatchable {
 public:
  virtual int _dispatch(int msg, void* retval, void** params = 0, int nparams = 0) = 0;

 protected:
  ~Dispatchable() {}
};

enum {
  WASABI_API_SERVICE_GETSERVICEBYGUID = 50,
  WASABI_SERVICE_CONSTANT = 30,
  WASABI_SERVICE_SELF = 300
};

/* {30AED4E5-EF10-4277-8D49-27AB5570E891} in its in-memory layout. */
static const unsigned char kWasabiLanguageServiceGuid[16] = {0xE5, 0xD4, 0xAE, 0x30, 0x10, 0xEF, 0x77, 0x42,
                                                             0x8D, 0x49, 0x27, 0xAB, 0x55, 0x70, 0xE8, 0x91};
#endif

#endif
