#pragma once

#include <httplib.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Small helpers for talking to the station simulator from tests, written independently of the
// simulator's own code.
namespace wavenard::test {

// The bytes of a FLAC file: "fLaC", a STREAMINFO block with the given rate and sample count,
// then AAudioBytes of filler standing in for the frames.
std::string FlacFile(uint32_t ASampleRate, uint64_t ATotalSamples, size_t AAudioBytes = 64);

// Base64 with a CR LF after every 76 characters, as the client sends it.
std::string Base64Lines(const std::string& ABytes);

// Percent-encodes everything but letters, digits and "-._~"; a blank becomes "+".
std::string FormValue(const std::string& AText);

// The upload form body with its six fields in the client's order.
std::string UploadForm(const std::string& AUser, const std::string& APass, const std::string& AFileName,
                       const std::string& APosition, const std::string& AFileBytes);

// A client that sends request targets exactly as given.
std::unique_ptr<httplib::Client> SimClient(int APort);

// The query of a request with the given credentials and action.
std::string Query(const std::string& AUser, const std::string& APass, const std::string& AAction);

using TTrackAttributes = std::map<std::string, std::string>;

// The TRACK elements of a playlist document with their attributes, references resolved.
std::vector<TTrackAttributes> TracksOf(const std::string& AXml);
std::vector<std::string> TitlesOf(const std::string& AXml);

// Sends ARequest over a fresh connection and returns everything read until the server closes it.
std::string RawExchange(int APort, const std::string& ARequest);

}  // namespace wavenard::test
