#pragma once
// A PostgreSQL server of the tests' own: a cluster in a temporary folder made with Debian's
// postgresql package, reached only through a socket in that folder, run by an unprivileged user
// when the tests run as root (the server refuses root), and removed when the tests end. Each test
// takes a fresh database of it.

#include <string>

namespace kestrune::testkit {

class PostgresServer {
 public:
  // The one server of this test program, started on first use.
  static PostgresServer& Shared();
  ~PostgresServer();

  // Why there is no server: the package is missing, or this build has no PostgreSQL client.
  // Empty when it runs.
  const std::string& Unavailable() const { return m_unavailable; }

  // A URI of a new, empty database.
  std::string NewDatabase();

  // Stops the server at once, as a crash or a pulled cable would, and starts it again.
  bool Stop();
  bool Start();

 private:
  PostgresServer();
  std::string AsServerUser(const std::string& command) const;

  std::string m_bin;     // the package's programs
  std::string m_folder;  // the cluster, its socket and its log
  std::string m_user;    // who runs the server: empty for the tests' own user
  std::string m_unavailable;
  int m_databases = 0;
};

}  // namespace kestrune::testkit
