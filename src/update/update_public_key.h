// The key the update site's lists must be signed with: the one the program was
// built with (the CMake cache variable SORANA_UPDATE_PUBLIC_KEY), which the
// environment variable of the same name replaces when it is set and not empty,
// as SORANA_UPDATE_SERVER replaces the server. Without one the updater
// installs what the server gives, as it always did.
#pragma once

#include <optional>
#include <string>

#include "signing/minisign.h"

namespace sorana::update {

struct UpdateKey {
  std::string text;  // as given; empty when the program holds no key
  // The key; nullopt with a non-empty text that is no key: then every update
  // is refused rather than left unchecked.
  std::optional<signing::PublicKey> key;
  bool Held() const { return !text.empty(); }
};

UpdateKey UpdatePublicKey();
// Whether the build itself holds a key (the environment aside), and its text.
bool BuildHoldsKey();
std::string BuildKeyText();

}  // namespace sorana::update
