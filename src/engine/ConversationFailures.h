#pragma once
// How a failure that ends a conversation is told to the user.

#include <cstdint>
#include <string>

// A failure raised while the conversation runs, reported against the profile's
// InfoString(). Empty for the remote orderly disconnect, which the client
// thread reports itself after acknowledging it. Mac Roman text.
std::string ConversationFailureText(std::int32_t code, char const* info);

// A failure raised before the conversation stands (or while reporting one),
// reported against the host and port.
std::string ConnectFailureText(std::int32_t code, char const* host, unsigned short port);
