// Form fields as a WML user agent sends them (WML 1.1 §9.5.1): transcoded to
// the charset the go element accepts, URL-escaped and joined as
// application/x-www-form-urlencoded.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace deckhand::net {

// A postfield's name and value, as UTF-8 text.
struct TField {
  std::string Name;
  std::string Value;
};

// The charset the fields are sent in: the first charset of acceptCharset (a
// list separated by commas or spaces, WML 1.1 §9.5.1) that this program can
// encode, else deckCharset; "UTF-8" when neither names one it can encode.
// The name is returned as written.
std::string ChooseFormCharset(std::string_view acceptCharset, std::string_view deckCharset);

// The fields in charset, URL-escaped (letters, digits and "*-._" stay, a space
// becomes "+", every other byte "%XX") and joined with "&" and "=".
// Nothing when a field holds a character that charset cannot represent
// (error says which); the fields are never sent altered.
std::optional<std::string> EncodeForm(const std::vector<TField>& fields, std::string_view charset,
                                      std::string& error);

}  // namespace deckhand::net
