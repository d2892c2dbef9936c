// The library's one way out for messages: a line at a time, flushed, so that lines of a
// conversion never interleave with a host's own output in the middle. The capture is
// process-wide state, set only while the library's lock is held (one call at a time).
#include "Messages.h"

#include <iostream>

namespace {

std::string* gps_errors = nullptr;
std::string* gps_report = nullptr;

}  // namespace

void error(std::string s_text)
{
    if (gps_errors != nullptr) {
        gps_errors->append(s_text).push_back('\n');
        return;
    }
    std::cerr << s_text << std::endl;
}

void inform(std::string s_text)
{
    if (gps_report != nullptr) {
        gps_report->append(s_text).push_back('\n');
        return;
    }
    std::cout << s_text << std::endl;
}

MessageCapture::MessageCapture(std::string& s_errors, std::string& s_report)
    : ps_previous_errors(gps_errors), ps_previous_report(gps_report)
{
    gps_errors = &s_errors;
    gps_report = &s_report;
}

MessageCapture::~MessageCapture()
{
    gps_errors = ps_previous_errors;
    gps_report = ps_previous_report;
}
