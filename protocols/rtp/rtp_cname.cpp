#include "protocols/rtp/rtp_cname.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace strevana {

std::string composeCname(const std::optional<std::string>& user,
                         const std::optional<std::string>& host) {
  std::string cname = (user && !user->empty()) ? *user : kCnameFallbackUser;
  cname += '@';
  cname += (host && !host->empty()) ? *host : kCnameFallbackHost;
  if (cname.size() > 255) cname.resize(255);
  return cname;
}

std::optional<std::string> lookUpUserName() {
  // getlogin_r needs a controlling terminal; services and CI have none, so
  // the account of the effective user is the usual answer.
  char login[256] = {};
  if (getlogin_r(login, sizeof login) == 0 && login[0] != '\0') return std::string(login);
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_name != nullptr && result->pw_name[0] != '\0') {
    return std::string(result->pw_name);
  }
  return std::nullopt;
}

std::optional<std::string> lookUpHostName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::nullopt;
  return std::string(host);
}

std::string localCname() { return composeCname(lookUpUserName(), lookUpHostName()); }

}  // namespace strevana
