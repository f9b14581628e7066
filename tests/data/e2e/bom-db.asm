psrlw mm0, 1
