// The exception clauses of the stream setup routines' guarded blocks.
//
// Each routine names its own exception kinds, in the order its clauses are tried; a kind it does
// not name (and every other exception) passes out of the routine. There is deliberately no
// clause for the family's common base and no catch-all.
#pragma once

#include "camera/CameraSdk.h"

// One line on standard output for each kind a guarded block may catch.
void reportSetupFailure(const CamSdk::ArgumentException& failure);
void reportSetupFailure(const CamSdk::UnauthorizedAccessException& failure);
void reportSetupFailure(const CamSdk::IOException& failure);
void reportSetupFailure(const CamSdk::InvalidOperationException& failure);
void reportSetupFailure(const CamSdk::ConfigurationException& failure);
void reportSetupFailure(const CamSdk::StreamingException& failure);
void reportSetupFailure(const CamSdk::TimeoutException& failure);

template <class Block>
void runWithClauses(Block& block) {
  block();
}

// Runs `block` inside one try per kind. The first kind listed gets the innermost try, so the
// clauses are tried in the order listed; a caught failure is reported and the block is over.
template <class Kind, class... LaterKinds, class Block>
void runWithClauses(Block& block) {
  auto withThisClause = [&block] {
    try {
      block();
    } catch (Kind& failure) {
      reportSetupFailure(failure);
    }
  };
  runWithClauses<LaterKinds...>(withThisClause);
}
