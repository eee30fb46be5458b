#pragma once
// The plug-in under test: loading it, the events delivered to it and what it gives back, and
// its buttons' handlers.
#include <cstdint>
#include <string>

bool loadPlugin(const char *path);
void unloadPlugin();

// What pluginFun gave back for an event, decoded; the answer's text or nothing.
std::string decodeResult(const char *event, const void *result, bool &handled);
std::string deliver(const char *name, const std::string &event, bool &handled);
void deliverInitialise();
void deliverFinalise();
void deliverMessage(std::int32_t from, const std::string &text);
// Calls the handler the plug-in gave for a button, as the messenger does on a click.
void pressButton(std::int32_t id, const char *how);
void onClick(std::int32_t id);
