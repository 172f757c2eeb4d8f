// An updater built without the vendor's key: packages are not signed.
#include "package/package_signature.h"

const unsigned char* vendor_public_key() {
    return nullptr;
}
