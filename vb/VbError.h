#pragma once
// Run-time failures carry a VB error number and description, as the original
// program's error trapping expected; handlers catch VbError where the
// behaviour says and hand (source, number, description) to TraiterErreur.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kup {

// The VB run-time error numbers this program raises or tests for.
namespace vberr {
constexpr int32_t InvalidCall = 5;
constexpr int32_t Overflow = 6;
constexpr int32_t SubscriptOutOfRange = 9;
constexpr int32_t TypeMismatch = 13;
constexpr int32_t FileNotFound = 53;
constexpr int32_t FileAlreadyOpen = 55;
constexpr int32_t FileAlreadyExists = 58;
constexpr int32_t DiskFull = 61;
constexpr int32_t BadFileName = 52;
constexpr int32_t PermissionDenied = 70;
constexpr int32_t PathFileAccess = 75;
constexpr int32_t PathNotFound = 76;
constexpr int32_t DllLoadError = 48;          // library cannot be loaded
constexpr int32_t InternalError = 51;
constexpr int32_t DllEntryNotFound = 453;     // entry point absent from the library
constexpr int32_t ObjectRequired = 424;
constexpr int32_t ObjectVariableNotSet = 91;
constexpr int32_t InvalidUseOfNull = 94;
constexpr int32_t CantCreateObject = 429;
constexpr int32_t Ignored = 440;             // automation error, ignored by TraiterErreur
constexpr int32_t UserFacing = -404;         // shown in a critical box by TraiterErreur
constexpr int32_t InvalidPropertyValue = 380; // a window given a size it cannot take
constexpr int32_t DdeNoForeignApp = 282;     // no partner answers on that topic
constexpr int32_t DdeRefused = 285;          // partner refused the execute (NAK)
constexpr int32_t DdeTimeout = 286;          // no answer within the link time-out
constexpr int32_t DdeNoChannel = 293;        // execute with no conversation open
constexpr int32_t CancelError = 32755;       // common dialog cancelled with CancelError set
}  // namespace vberr

// The French text of the VB run-time message for a number ("" when unknown).
std::string vbErrorText(int32_t number);

class VbError : public std::runtime_error {
 public:
  VbError(int32_t number, std::string description = {});
  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

[[noreturn]] void raise(int32_t number, std::string description = {});

}  // namespace kup
