// The system's socket address functions (inet_pton, inet_ntop, getaddrinfo). Platform header:
// the build puts the folder of its platform on the server layer's include path.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
