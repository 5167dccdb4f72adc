// Everything an update run reaches outside its own memory and its windows, in one object:
// the program folder, user.ini, the logs, the clock and the free space (common::Env), the
// HTTP client, how programs are started, and the run's time limits. tolvan/main.cc builds the
// real one once; tests build theirs around a common::TestEnv, a scripted or real HTTP client
// and a recording starter.
#ifndef TOLVAN_UPDATE_CONTEXT_H_
#define TOLVAN_UPDATE_CONTEXT_H_

#include <cstdint>

#include "common/env.h"
#include "tolvan/http_client.h"
#include "tolvan/program_starter.h"

namespace tolvan {

// The referenced objects must outlive every flow built from the context.
struct UpdateContext {
  common::Env& env;
  ProgramStarter& starter;
  // Makes the run's HTTP client (IdHTTP1); MakeIdHttp (tolvan/id_http.h) for the real one.
  HttpClientFactory http{};
  // Connection and stall limits of the HTTP client.
  HttpSettings http_settings{};
  // Shortest interval between two progress reports to the window during a download, in
  // milliseconds; the first and the last step of a body are always reported.
  int64_t progress_interval_ms = 50;
};

}  // namespace tolvan

#endif  // TOLVAN_UPDATE_CONTEXT_H_
