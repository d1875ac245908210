#include "server/reply.h"

namespace veltrano::server {

std::string errorText(int number, std::string_view message) {
  std::string text = "[에러번호] ";
  text += std::to_string(number);
  text += " : ";
  text += message;
  return text;
}

}  // namespace veltrano::server
