#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

// What the HTTP face's requests for changes come to, without any I/O: each change is the SCPI
// a client would send, carried out by a session of its own, so the web follows the SCPI rules
// to the letter (a value off the table is refused, nothing is rounded, off always wins), and
// the errors those lines leave say how it went.
namespace pelmora::server {

// A status and the text that says why.
struct WebAnswer {
    int status = 200;
    std::string text;
};

// The lines that make a change: the change itself, then a line of error queries whose answers
// are the change's own errors.
struct WebChange {
    std::string change;
    std::string check;
};

inline constexpr int kHttpOk = 200;
inline constexpr int kHttpBadRequest = 400;
inline constexpr int kHttpForbidden = 403;
inline constexpr int kHttpNotFound = 404;
inline constexpr int kHttpMethodNotAllowed = 405;
inline constexpr int kHttpConflict = 409;
inline constexpr int kHttpMisdirected = 421;
inline constexpr int kHttpUnsupportedMediaType = 415;
inline constexpr int kHttpServiceUnavailable = 503;

// PUT /api/output: "1" or "0" (as labgrid's power driver sends them), or JSON true or false.
std::variant<WebChange, WebAnswer> OutputChange(std::string_view body);
// PUT /api/voltages: {"positive_V": 5, "negative_V": -12}, either or both.
std::variant<WebChange, WebAnswer> VoltagesChange(std::string_view body);
// PUT /api/protection: {"positive": {"on": true, "limit_mA": 300}, "negative": {…},
// "delay_s": 0.5}, any part of it.
std::variant<WebChange, WebAnswer> ProtectionChange(std::string_view body);
// DELETE /api/trip and DELETE /api/program.
WebChange ClearTrip();
WebChange StopProgram();

// The change tried on an instrument that nothing else sees, before it is carried out: SCPI
// carries out the rest of a line beside a value it refuses, and a request refused for one of
// its values must change nothing at all. Gives the refusal, or none.
std::optional<WebAnswer> Rehearsal(const WebChange& change);

// How the change went, from the answers to its check: 200 with `done` when it left no error,
// else the status its first error calls for (409 refused as things stand, 400 a value it does
// not take, 503 the supply not there or not answering) and that error.
WebAnswer AnswerOf(std::string_view checkReply, std::string_view done);

} // namespace pelmora::server
