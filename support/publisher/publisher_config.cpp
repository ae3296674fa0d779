// The publisher settings of one executable. The generated header that this
// file includes decides them; each executable that ships compiles its own
// copy (see support/CMakeLists.txt).

#include "orvin_publisher_config.h"
#include "support/publisher_trust.h"

// Headers written without the option keep certificates checked when pinned.
#ifndef ORVIN_KEEP_CERTIFICATE_DEFAULT_VALUE
#define ORVIN_KEEP_CERTIFICATE_DEFAULT_VALUE false
#endif

PublisherSettings CompiledPublisherSettings() {
    return {ORVIN_ALLOWED_ORIGINS_TEXT, ORVIN_PUBLISHER_KEYS_TEXT, ORVIN_KEEP_CERTIFICATE_DEFAULT_VALUE,
            ORVIN_ALLOWED_AGENTS_TEXT, ORVIN_INSTALL_ROOT_TEXT};
}
