// The process-wide recursive lock every export holds for its whole call.
#include <pthread.h>

#include "platform/plataforma.h"

namespace plataforma {
namespace {
pthread_mutex_t trava = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
}

void Trava() { pthread_mutex_lock(&trava); }
void Destrava() { pthread_mutex_unlock(&trava); }

}  // namespace plataforma
