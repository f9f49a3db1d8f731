#include "platform/Interfaces.h"

namespace kup::platform::mb {

std::vector<int> Buttons(int buttons) {
  switch (buttons & 7) {
    case OKCancel: return {OK, Cancel};
    case AbortRetryIgnore: return {Abort, Retry, Ignore};
    case YesNoCancel: return {Yes, No, Cancel};
    case YesNo: return {Yes, No};
    case RetryCancel: return {Retry, Cancel};
    default: return {OK};
  }
}

std::string ButtonName(int answer) {
  switch (answer) {
    case OK: return "OK";
    case Cancel: return "Annuler";
    case Abort: return "Abandonner";
    case Retry: return "Réessayer";
    case Ignore: return "Ignorer";
    case Yes: return "Oui";
    case No: return "Non";
    default: return "?";
  }
}

int HeadlessAnswer(int buttons) {
  switch (buttons & 7) {
    case RetryCancel: return Cancel;
    case AbortRetryIgnore: return Abort;
    default: break;
  }
  auto list = Buttons(buttons);
  size_t index = (buttons & 0x300) >> 8;
  return index < list.size() ? list[index] : list.front();
}

}  // namespace kup::platform::mb
