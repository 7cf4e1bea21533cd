#include "update/update_public_key.h"

#include "platform/environment.h"

#ifndef SORANA_DEFAULT_UPDATE_PUBLIC_KEY
#define SORANA_DEFAULT_UPDATE_PUBLIC_KEY ""
#endif

namespace sorana::update {

UpdateKey UpdatePublicKey() {
  UpdateKey key;
  key.text = platform::EnvironmentVariable("SORANA_UPDATE_PUBLIC_KEY").value_or(std::string());
  if (key.text.empty()) key.text = SORANA_DEFAULT_UPDATE_PUBLIC_KEY;
  if (key.Held()) key.key = signing::ParsePublicKey(key.text);
  return key;
}

bool BuildHoldsKey() { return !BuildKeyText().empty(); }

std::string BuildKeyText() { return SORANA_DEFAULT_UPDATE_PUBLIC_KEY; }

}  // namespace sorana::update
