// The URL library (WAP-194 §10), with addresses as RFC 2396 defines them.
#include <cctype>
#include <cstring>

#include "wmlscript/Lexer.h"
#include "wmlscript/Library.h"

namespace deckhand::wmlscript {
namespace {

struct TUrlParts {
  std::optional<std::string> Scheme, Authority, Query, Fragment;
  std::string Path;
};

// RFC 2396 Appendix B: the parts of an address.
TUrlParts Split(const std::string& url) {
  TUrlParts p;
  std::size_t i = 0;
  const std::size_t colon = url.find_first_of(":/?#");
  if (colon != std::string::npos && colon > 0 && url[colon] == ':') {
    p.Scheme = url.substr(0, colon);
    i = colon + 1;
  }
  if (url.compare(i, 2, "//") == 0) {
    const std::size_t end = url.find_first_of("/?#", i + 2);
    p.Authority = url.substr(i + 2, end == std::string::npos ? std::string::npos : end - i - 2);
    i = end == std::string::npos ? url.size() : end;
  }
  const std::size_t pathEnd = url.find_first_of("?#", i);
  p.Path = url.substr(i, pathEnd == std::string::npos ? std::string::npos : pathEnd - i);
  i = pathEnd == std::string::npos ? url.size() : pathEnd;
  if (i < url.size() && url[i] == '?') {
    const std::size_t end = url.find('#', i);
    p.Query = url.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
    i = end == std::string::npos ? url.size() : end;
  }
  if (i < url.size() && url[i] == '#') p.Fragment = url.substr(i + 1);
  return p;
}

std::string Join(const TUrlParts& p) {
  std::string out;
  if (p.Scheme) out += *p.Scheme + ":";
  if (p.Authority) out += "//" + *p.Authority;
  out += p.Path;
  if (p.Query) out += "?" + *p.Query;
  if (p.Fragment) out += "#" + *p.Fragment;
  return out;
}

bool IsUriChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_.!~*'();/?:@&=+$,", c);
}

bool IsValidUrl(const std::string& url) {
  int hashes = 0;
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char c = url[i];
    if (c == '%') {
      if (i + 2 >= url.size() + 0 || !std::isxdigit(static_cast<unsigned char>(url[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(url[i + 2])))
        return false;
      i += 2;
    } else if (c == '#') {
      if (++hashes > 1) return false;
    } else if (c == '\0' || !IsUriChar(c)) {
      return false;
    }
  }
  const TUrlParts p = Split(url);
  if (p.Scheme) {
    if (!std::isalpha(static_cast<unsigned char>((*p.Scheme)[0]))) return false;
    for (char c : *p.Scheme) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
        return false;
    }
  }
  if (p.Authority) {
    const std::size_t at = p.Authority->rfind('@');
    const std::string hostPort =
        at == std::string::npos ? *p.Authority : p.Authority->substr(at + 1);
    const std::size_t colon = hostPort.rfind(':');
    if (colon != std::string::npos) {
      for (std::size_t k = colon + 1; k < hostPort.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(hostPort[k]))) return false;
      }
    }
  }
  return true;
}

std::string Host(const TUrlParts& p, bool port) {
  if (!p.Authority) return "";
  const std::size_t at = p.Authority->rfind('@');
  const std::string hostPort = at == std::string::npos ? *p.Authority : p.Authority->substr(at + 1);
  const std::size_t colon = hostPort.rfind(':');
  if (port) return colon == std::string::npos ? "" : hostPort.substr(colon + 1);
  return hostPort.substr(0, colon);
}

// The path without the last segment's parameters, and those parameters.
std::pair<std::string, std::string> PathAndParameters(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t semi = path.find(';', slash == std::string::npos ? 0 : slash);
  if (semi == std::string::npos) return {path, ""};
  return {path.substr(0, semi), path.substr(semi + 1)};
}

std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const bool absolute = !path.empty() && path[0] == '/';
  std::string segment;
  bool trailing = false;
  while (i <= path.size()) {
    const std::size_t end = path.find('/', i);
    segment = path.substr(i, end == std::string::npos ? std::string::npos : end - i);
    trailing = false;
    if (segment == ".") {
      trailing = true;
    } else if (segment == "..") {
      if (!out.empty() && out.back() != "..") out.pop_back();
      trailing = true;
    } else if (!(segment.empty() && i == 0 && absolute)) {
      out.push_back(segment);
    }
    if (end == std::string::npos) break;
    i = end + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t k = 0; k < out.size(); ++k) result += (k ? "/" : "") + out[k];
  if (trailing && !result.empty() && result.back() != '/') result += "/";
  return result;
}

int HexDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& relative) {
  const TUrlParts r = Split(relative);
  if (r.Scheme) {
    TUrlParts t = r;
    t.Path = RemoveDotSegments(r.Path);
    return Join(t);
  }
  const TUrlParts b = Split(base);
  TUrlParts t;
  t.Scheme = b.Scheme;
  t.Fragment = r.Fragment;
  if (r.Authority) {
    t.Authority = r.Authority;
    t.Path = RemoveDotSegments(r.Path);
    t.Query = r.Query;
    return Join(t);
  }
  t.Authority = b.Authority;
  if (r.Path.empty()) {
    t.Path = b.Path;
    t.Query = r.Query ? r.Query : b.Query;
  } else {
    if (r.Path[0] == '/') {
      t.Path = RemoveDotSegments(r.Path);
    } else {
      std::string merged;
      if (b.Authority && b.Path.empty()) {
        merged = "/" + r.Path;
      } else {
        const std::size_t slash = b.Path.rfind('/');
        merged = (slash == std::string::npos ? "" : b.Path.substr(0, slash + 1)) + r.Path;
      }
      t.Path = RemoveDotSegments(merged);
    }
    t.Query = r.Query;
  }
  return Join(t);
}

bool AccessAllowed(const TUnit& unit, const std::string& unitUrl, const std::string& callerUrl) {
  std::optional<std::string> domain, path;
  for (const TPragma& p : unit.Pragmas) {
    if (p.Type == TPragmaType::AccessDomain) domain = unit.Constants[p.A].Str;
    if (p.Type == TPragmaType::AccessPath) path = unit.Constants[p.A].Str;
  }
  return AccessRuleAllows(domain, path, unitUrl, callerUrl);
}

bool AccessRuleAllows(const std::optional<std::string>& domain,
                      const std::optional<std::string>& path, const std::string& unitUrl,
                      const std::string& callerUrl) {
  if (!domain && !path) return true;  // no access control
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string want = lower(domain.value_or(Host(Split(unitUrl), false)));
  const std::string host = lower(Host(Split(callerUrl), false));
  const bool domainOk =
      host == want || (host.size() > want.size() &&
                       host.compare(host.size() - want.size(), want.size(), want) == 0 &&
                       host[host.size() - want.size() - 1] == '.');
  // A relative path is relative to the unit's own address.
  const std::string prefix = Split(ResolveUrl(unitUrl, path.value_or("/"))).Path;
  const std::string callerPath = Split(callerUrl).Path;
  const bool pathOk = callerPath.compare(0, prefix.size(), prefix) == 0 &&
                      (callerPath.size() == prefix.size() || prefix.empty() ||
                       prefix.back() == '/' || callerPath[prefix.size()] == '/');
  return domainOk && pathOk;
}

TValue CallUrl(std::uint8_t function, TValue* args, TLibraryContext& context) {
  if (function == 8) {  // getBase: the unit's address without its fragment
    std::string base = context.Options.ScriptUrl;
    if (const std::size_t hash = base.find('#'); hash != std::string::npos) base.resize(hash);
    return TValue::String(base);
  }
  if (function == 9) return TValue::String(context.Browser.Referer());  // getReferer
  const std::optional<std::string> first = ToString(args[0]);
  if (!first) return TValue::Invalid();
  const std::string& url = *first;
  switch (function) {
    case 0:
      return TValue::Boolean(IsValidUrl(url));
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7: {
      if (!IsValidUrl(url)) return TValue::Invalid();
      const TUrlParts p = Split(url);
      switch (function) {
        case 1:
          return TValue::String(p.Scheme.value_or(""));
        case 2:
          return TValue::String(Host(p, false));
        case 3:
          return TValue::String(Host(p, true));
        case 4:
          return TValue::String(PathAndParameters(p.Path).first);
        case 5:
          return TValue::String(PathAndParameters(p.Path).second);
        case 6:
          return TValue::String(p.Query.value_or(""));
        default:
          return TValue::String(p.Fragment.value_or(""));
      }
    }
    case 10: {  // resolve
      const std::optional<std::string> embedded = ToString(args[1]);
      if (!embedded || !IsValidUrl(url) || !IsValidUrl(*embedded)) return TValue::Invalid();
      return TValue::String(ResolveUrl(url, *embedded));
    }
    case 11: {  // escapeString: RFC 2396 special characters as %xx
      std::string out;
      static const char* const kHex = "0123456789abcdef";
      for (std::size_t i = 0; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        std::uint32_t code = c;
        if (c >= 0x80) {
          // Characters beyond ISO 8859-1 cannot be escaped (WAP-194 §10.12).
          if ((c & 0xE0) != 0xC0 || i + 1 >= url.size()) return TValue::Invalid();
          code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(url[i + 1]) & 0x3F);
          if (code > 0xFF) return TValue::Invalid();
          ++i;
        }
        if (code < 0x80 && (std::isalnum(static_cast<int>(code)) ||
                            std::strchr("-_.!~*'()", static_cast<int>(code)))) {
          out.push_back(static_cast<char>(code));
        } else {
          out.push_back('%');
          out.push_back(kHex[code >> 4]);
          out.push_back(kHex[code & 15]);
        }
      }
      return TValue::String(out);
    }
    case 12: {  // unescapeString
      std::string out;
      for (std::size_t i = 0; i < url.size(); ++i) {
        if (static_cast<unsigned char>(url[i]) >= 0x80) return TValue::Invalid();
        if (url[i] != '%') {
          out.push_back(url[i]);
          continue;
        }
        if (i + 2 >= url.size() || !std::isxdigit(static_cast<unsigned char>(url[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(url[i + 2])))
          return TValue::Invalid();
        AppendUtf8(out,
                   static_cast<std::uint32_t>(HexDigit(url[i + 1]) * 16 + HexDigit(url[i + 2])));
        i += 2;
      }
      return TValue::String(out);
    }
    case 13: {  // loadString(url, contentType)
      const std::optional<std::string> type = ToString(args[1]);
      if (!type || type->compare(0, 5, "text/") != 0 || type->find(';') != std::string::npos ||
          !IsValidUrl(url))
        return TValue::Invalid();
      const std::optional<TBrowser::TLoaded> loaded =
          context.Browser.Load(ResolveUrl(context.Options.ScriptUrl, url));
      // A failed load gives an integer error code (WAP-194 §10.14): 404.
      if (!loaded) return TValue::Integer(404);
      std::string got = loaded->ContentType.substr(0, loaded->ContentType.find(';'));
      while (!got.empty() && got.back() == ' ') got.pop_back();
      if (got != *type) return TValue::Invalid();
      return TValue::String(loaded->Content);
    }
    default:
      return TValue::Invalid();
  }
}

}  // namespace deckhand::wmlscript
