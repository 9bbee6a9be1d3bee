#include "streams/SetupFailureReport.h"

#include <cstdio>

void reportSetupFailure(const CamSdk::ArgumentException& failure) {
  std::printf("Argument Exception: %s\n", failure.what());
}

void reportSetupFailure(const CamSdk::UnauthorizedAccessException& failure) {
  std::printf("Unauthorized Access Exception: %s\n", failure.what());
}

void reportSetupFailure(const CamSdk::IOException& failure) {
  std::printf("IO Exception: %s\n", failure.what());
}

void reportSetupFailure(const CamSdk::InvalidOperationException& failure) {
  std::printf("Invalid Operation Exception: %s\n", failure.what());
}

void reportSetupFailure(const CamSdk::ConfigurationException& failure) {
  std::printf("Configuration Exception: %s\n", failure.what());
}

void reportSetupFailure(const CamSdk::StreamingException& failure) {
  std::printf("Streaming Exception: %s\n", failure.what());
}

// A timeout's text adds nothing the user can act on, so the line is fixed.
void reportSetupFailure(const CamSdk::TimeoutException&) { std::printf("TimeoutException\n"); }
