#include "platform/Internet.h"

std::unique_ptr<IInternet> CreateInternet(const std::string&) { return nullptr; }
