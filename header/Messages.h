// Every line the library writes goes through here: failures to standard error, the success line
// and the level table's notices to standard output, each a whole line, flushed at once. While a
// MessageCapture lives, the lines go into its two texts instead.
#ifndef TESSOLD_MESSAGES_H
#define TESSOLD_MESSAGES_H

#include <string>

// Writes text and a line end to standard error and flushes.
void error(std::string s_text);

// Writes text and a line end to standard output and flushes.
void inform(std::string s_text);

// Collects the lines of one call: error() lines in s_errors, inform() lines in s_report.
class MessageCapture
{
public:
    MessageCapture(std::string& s_errors, std::string& s_report);
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

private:
    std::string* ps_previous_errors;
    std::string* ps_previous_report;
};

#endif
