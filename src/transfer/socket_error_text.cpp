#include "transfer/socket_error_text.h"

#include <algorithm>
#include <iterator>

namespace pellmarsh {
namespace {

struct ErrorText {
  int code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Blocking Call Cancelled"},
    {10013, "Flag Not Set For Broadcast Send"},
    {10014, "/namelen/ Argument Is Incorrect"},
    {10022, "Socket Is Not Already Bound To An Address"},
    {10024, "No More File Descriptors"},
    {10035, "Function Would Block"},
    {10036, "Blocking Call In Progress"},
    {10038, "Descriptor Not A Socket"},
    {10039, "Destination Address Required"},
    {10040, "Data Too Large for Datagram"},
    {10041, "Inappropriate Protocol For Socket"},
    {10043, "Requested Protocol Not Supported"},
    {10044, "Socket Type Not Supported For This Address Family"},
    {10045, "Operation Not Supported"},
    {10047, "Address Family Unsupported"},
    {10048, "Address In Use"},
    {10049, "Address Is Unavailable"},
    {10050, "Network Failure"},
    {10051, "Network Unreachable"},
    {10052, "Connection Reset Locally"},
    {10053, "Connection Aborted"},
    {10054, "Connection Reset By Host"},
    {10055, "No More Buffers Available"},
    {10056, "Socket Is Already Connected"},
    {10058, "Socket has been Shut Down"},
    {10060, "Timed Out"},
    {10061, "Connection Refused by Host"},
    {10093, "Windows Sockets DLL Not Initialized"},
    {11001, "Host Not Found"},
    {11002, "Name Server Failure"},
    {11003, "Unrecoverable DNS Error"},
    {11004, "Host Name Not Found"},
};

}  // namespace

std::string SocketErrorText(int code) {
  const auto found = std::find_if(std::begin(kErrorTexts), std::end(kErrorTexts),
                                  [code](const ErrorText& entry) { return entry.code == code; });
  if (found != std::end(kErrorTexts)) {
    return found->text;
  }
  return "Socket Error: " + std::to_string(code);
}

}  // namespace pellmarsh
