#include "ierrorhandler.h"

IErrorHandler::~IErrorHandler() = default;
