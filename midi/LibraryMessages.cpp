#include "midi/LibraryMessages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <mutex>

namespace midi {
namespace {

void IgnoreAlsa(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJack(const char*) {}

}  // namespace

void RouteLibraryMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&IgnoreAlsa);
    jack_set_error_function(&IgnoreJack);
    jack_set_info_function(&IgnoreJack);
  });
}

}  // namespace midi
