#pragma once
// The reference server: the query service, the data service and the file host on one HTTP
// address, served by a pool of worker threads.
//
//   POST /client/mysqlservice.asp        query service (path compared without regard to case)
//   POST <data path>, /ORVEX/<page>.ASP  data service (idem)
//   GET, HEAD anything else              file host, below <data>/files
//
// Usage: construct, bind() (the port is known from then on), run() on some thread until
// stop() is called from another (or from a signal-handling thread).

#include <memory>
#include <string>

#include "server/options.h"

namespace veltrano::server {

class HttpServer {
 public:
  // Throws std::runtime_error when the access log cannot be opened.
  explicit HttpServer(ServerOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Opens the listening socket; returns the port (the one chosen when asked for port 0).
  // Throws std::runtime_error when the address cannot be bound.
  int bind();
  // "host:port" of the bound socket ("[::1]:port" for IPv6 hosts).
  std::string address() const;
  // Serves until stop(); returns once the workers have finished their requests.
  void run();
  // Stops accepting; safe to call from any thread, also before run() starts, and repeatedly.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrano::server
