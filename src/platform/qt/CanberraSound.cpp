#include "platform/qt/CanberraSound.h"

#include <alsa/asoundlib.h>
#include <canberra.h>

namespace sentrel {

namespace {
// ALSA reports every device it cannot open on stderr: eight lines per sound
// on a machine with no sound card. A missing device only means silence.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) { }
} // namespace

CanberraSound::~CanberraSound()
{
    if (context_)
        ca_context_destroy(context_);
}

void CanberraSound::playExclamation()
{
    // Created on first use: most runs never play a sound.
    if (!context_) {
        snd_lib_error_set_handler(QuietAlsa);
        if (ca_context_create(&context_) != CA_SUCCESS) {
            context_ = nullptr;
            return;
        }
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Sentrel", CA_PROP_APPLICATION_ID, "sentrel",
                                nullptr);
    }
    // No device, no sound server or no theme only means silence. The device
    // is opened by the play itself, so one that appears later is used.
    ca_context_play(context_, 0, CA_PROP_EVENT_ID, "dialog-warning", CA_PROP_EVENT_DESCRIPTION, "Backup notification",
                    nullptr);
}

} // namespace sentrel
