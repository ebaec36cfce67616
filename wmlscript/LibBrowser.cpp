// The WMLBrowser and Dialogs libraries (WAP-194 §11 and §12).
#include <cctype>

#include "wmlscript/Library.h"

namespace deckhand::wmlscript {
namespace {

// A WML variable name (WML 1.1 §10.3): a letter or underscore, then
// letters, digits and underscores.
bool IsVariableName(const std::string& name) {
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) {
    return false;
  }
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  return true;
}

}  // namespace

TValue CallBrowser(std::uint8_t function, TValue* args, TLibraryContext& context) {
  TBrowser& browser = context.Browser;
  switch (function) {
    case 0: {  // getVar
      const std::optional<std::string> name = ToString(args[0]);
      if (!name || !IsVariableName(*name)) return TValue::Invalid();
      return TValue::String(browser.GetVar(*name));
    }
    case 1: {  // setVar
      const std::optional<std::string> name = ToString(args[0]);
      const std::optional<std::string> value = ToString(args[1]);
      if (!name || !value || !IsVariableName(*name)) return TValue::Invalid();
      browser.SetVar(*name, *value);
      return TValue::Boolean(true);
    }
    case 2: {  // go: applied when the script returns; "" cancels go and prev
      const std::optional<std::string> url = ToString(args[0]);
      if (!url) return TValue::Invalid();
      context.Result.Navigation = url->empty() ? TNavigation::None : TNavigation::Go;
      context.Result.GoUrl = *url;
      return TValue::String("");
    }
    case 3:  // prev: overrides an earlier go
      context.Result.Navigation = TNavigation::Prev;
      context.Result.GoUrl.clear();
      return TValue::String("");
    case 4:
      browser.NewContext();
      return TValue::String("");
    case 5: {  // getCurrentCard
      const std::string card = browser.CurrentCard();
      return card.empty() ? TValue::Invalid() : TValue::String(card);
    }
    case 6:
      browser.Refresh();
      return TValue::String("");
    default:
      return TValue::Invalid();
  }
}

TValue CallDialogs(std::uint8_t function, TValue* args, TLibraryContext& context) {
  const int count = function == 0 ? 2 : function == 1 ? 3 : 1;
  std::string text[3];
  for (int i = 0; i < count; ++i) {
    const std::optional<std::string> s = ToString(args[i]);
    if (!s) return TValue::Invalid();
    text[i] = *s;
  }
  switch (function) {
    case 0:
      return TValue::String(context.Browser.Prompt(text[0], text[1]));
    case 1:
      return TValue::Boolean(context.Browser.Confirm(text[0], text[1], text[2]));
    case 2:
      context.Browser.Alert(text[0]);
      return TValue::String("");
    default:
      return TValue::Invalid();
  }
}

}  // namespace deckhand::wmlscript
