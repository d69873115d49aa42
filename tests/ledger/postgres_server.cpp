#include "ledger/postgres_server.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "ledger/open_ledger.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace kestrune::testkit {
namespace {

#ifndef _WIN32
// Where Debian's postgresql package puts the programs of its server version.
std::string FindServerPrograms() {
  std::error_code error;
  for (const auto& version : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
    const std::filesystem::path bin = version.path() / "bin";
    if (std::filesystem::exists(bin / "initdb", error) && std::filesystem::exists(bin / "pg_ctl")) {
      return bin.string();
    }
  }
  return {};
}
#endif

bool Run(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

}  // namespace

PostgresServer& PostgresServer::Shared() {
  static PostgresServer server;
  return server;
}

PostgresServer::PostgresServer() {
  std::string error;
  if (!OpenDatabaseLedger("postgresql://", error)) {
    m_unavailable = "this build has no PostgreSQL client (" + error + ")";
    return;
  }
#ifdef _WIN32
  m_unavailable = "no PostgreSQL server for this platform";
#else
  m_bin = FindServerPrograms();
  if (m_bin.empty()) {
    m_unavailable = "Debian's postgresql package is not installed (scripts/bootstrap.sh)";
    return;
  }
  char folder[] = "/tmp/kestrune-pg-XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    m_unavailable = "no temporary folder for the cluster";
    return;
  }
  m_folder = folder;
  if (::geteuid() == 0) {
    m_user = "nobody";
    const passwd* user = ::getpwnam(m_user.c_str());
    if (user == nullptr || ::chown(folder, user->pw_uid, user->pw_gid) != 0) {
      m_unavailable = "cannot hand the cluster folder to the user nobody";
      return;
    }
  }
  if (!Run(AsServerUser(m_bin + "/initdb -D " + m_folder + "/data -U kestrune --auth=trust " +
                        "-E UTF8 --locale=C >" + m_folder + "/initdb.log 2>&1"))) {
    m_unavailable = "initdb failed: see " + m_folder + "/initdb.log";
    return;
  }
  if (!Start()) m_unavailable = "the server did not start: see " + m_folder + "/server.log";
#endif
}

PostgresServer::~PostgresServer() {
  if (m_folder.empty()) return;
  Stop();
  std::error_code error;
  std::filesystem::remove_all(m_folder, error);
}

std::string PostgresServer::AsServerUser(const std::string& command) const {
  return m_user.empty() ? command : "runuser -u " + m_user + " -- sh -c '" + command + "'";
}

// Durability is not what these tests are about: without fsync the server keeps pace.
bool PostgresServer::Start() {
  return Run(AsServerUser(m_bin + "/pg_ctl -D " + m_folder + "/data -l " + m_folder +
                          "/server.log -w -o \"-k " + m_folder +
                          " -c listen_addresses= -F\" start >/dev/null"));
}

bool PostgresServer::Stop() {
  return Run(AsServerUser(m_bin + "/pg_ctl -D " + m_folder +
                          "/data -m immediate -w stop >/dev/null 2>&1"));
}

std::string PostgresServer::NewDatabase() {
  const std::string name = "ledger" + std::to_string(++m_databases);
  Run(m_bin + "/createdb -h " + m_folder + " -U kestrune " + name);
  return "postgresql://kestrune@/" + name + "?host=" + m_folder;
}

}  // namespace kestrune::testkit
