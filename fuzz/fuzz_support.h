// What the fuzz targets share: a scratch file for the file readers, a check that
// stops the run when a rule is broken, the run-time set-up of the transport
// targets, and the checks on the link's answer decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Stops the run as a crash when a rule that must hold for every input is broken.
#define FUZZ_CHECK(cond) ((cond) ? void(0) : fuzz::Fail(#cond, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] void Fail(const char *what, const char *file, int line);

// The path of file name in a private temporary directory, removed at exit.
std::string ScratchPath(const char *name);
// Replaces that file with the input bytes; returns its path.
std::string WriteScratch(const uint8_t *data, std::size_t size, const char *name);

// Starts the run-time layer offscreen, once: the transport targets need its event loop.
void StartRunTime();
// Makes the next ProcessSystemEvents return at once instead of waiting for its guard timer.
void WakeEventLoop();

// Decodes what szReadBuf holds now the ways the programs do (echo check, words,
// version text) and checks that every result stays inside its buffer.
void CheckLinkDecoders();
// VexaV32's use of an answer: parameter or teach-row frame into the
// variables, data frame into the live buffer.
void CheckParameterAnswer();

} // namespace fuzz
