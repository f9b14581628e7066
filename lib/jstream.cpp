#include "jstream.h"

JStream::~JStream() {}
