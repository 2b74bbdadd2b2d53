#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

// What every fuzz target shares. Each target is one file under fuzz/ defining
// LLVMFuzzerTestOneInput; its seed corpus lives in fuzz/corpus/<target>/.
// A broken expectation calls fail(), which aborts so libFuzzer keeps the input.
namespace HLVFuzz {

// The fuzzer's bytes as a byte array (copied: Qt may keep a reference).
QByteArray bytes(const uint8_t* data, size_t size);

// The bytes as UTF-8 text; invalid sequences become replacement characters.
QString text(const uint8_t* data, size_t size);

[[noreturn]] void fail(const char* what);
inline void expect(bool condition, const char* what)
{
    if (!condition)
        fail(what);
}

// Creates the process's application object, once; its thread is the main thread.
void prepareApplication();

// Points the MusicBrainz and Cover Art Archive addresses at a web server inside
// the process that answers every request with these bytes (status 200), and
// drops the pause before each request. Every request the clients make while
// this input is tried gets the same answer.
void serveEveryRequest(const QByteArray& body, const QByteArray& contentType);

// Runs work on a thread of its own and waits for it: the blocking clients
// refuse to run on the main thread.
void runOffTheMainThread(const std::function<void()>& work);

// Reads the file as TagLib-backed tags through the program's own door, then
// saves a tag map with several fields and checks that a refused save left
// the file exactly as it was. The bytes are written to a scratch file with
// the given extension first.
void exerciseTagFile(const QByteArray& bytes, const char* extension);

} // namespace HLVFuzz
