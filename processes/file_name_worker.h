// One reusable helper thread for file-name queries that may block for ever, with a time limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace processes {

// Asks the file name of one handle at a time on a helper thread, so that a query which never
// returns (a pipe with a pending synchronous read) stalls the helper and not the caller.
//
// The helper is started on the first request and serves every later one. A request that is
// not answered within the time limit abandons it: the helper keeps running on its own state,
// with the platform it was handed here (never the one installed later) and only the handles it
// opened itself, and the next request starts a fresh helper. After `maxAbandoned` helpers have
// been given up, further requests answer empty at once, so a machine full of blocking handles
// costs a bounded number of threads and waits.
//
// The platform must outlive a query that can still return; the real one lives as long as the
// program, and a simulated query that blocks never returns.
class FileNameWorker {
 public:
  FileNameWorker(platform::Platform& platform, std::chrono::milliseconds timeout,
                 std::uint32_t maxAbandoned = 16);
  // Stops a helper that is waiting for work and waits for it to end.
  ~FileNameWorker();
  FileNameWorker(const FileNameWorker&) = delete;
  FileNameWorker& operator=(const FileNameWorker&) = delete;

  // The name of handle `handle` of process `processId` within its volume ("\dir\file"), in
  // the system code page; empty when it has none, cannot be read or does not come in time.
  std::string FileName(std::uint32_t processId, std::uint32_t handle);

  // Helper threads started so far (one, plus one for each helper that was given up).
  std::uint32_t Starts() const { return starts_; }

  struct Shared;  // what one helper thread shares with its requester

 private:
  bool Start();
  void Abandon();

  platform::Platform platform_;
  std::chrono::milliseconds timeout_;
  std::uint32_t maxAbandoned_;
  std::shared_ptr<Shared> helper_;  // the helper serving requests, if one runs
  std::thread thread_;              // its thread
  std::uint32_t starts_ = 0;
  std::uint32_t abandoned_ = 0;
};

}  // namespace processes
