#include "jobject.h"

JObject::~JObject() {}

JObject* JObject::self() { return this; }

int JObject::isLessThan(JObject*) { return 0; }

int JObject::isGreaterThan(JObject*) { return 0; }
