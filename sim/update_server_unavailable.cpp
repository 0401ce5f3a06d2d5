#include "update_server.h"

#include "database_generator.h"

// A build without the HTTP server library: the simulated server never starts
// (Start is false, as for a port that cannot be bound), while the answers it
// would give stay available to the programs and tests that compare them.

struct SimUpdateServer::Impl {
    UpdateServerOptions options;
    DatabaseTextProvider provider;
};

SimUpdateServer::SimUpdateServer(UpdateServerOptions options, DatabaseTextProvider provider)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->provider = provider ? std::move(provider) : DatabaseTextProvider(&GenerateDatabaseTextForSerial);
}

SimUpdateServer::~SimUpdateServer() = default;

void SimUpdateServer::SetRequestObserver(std::function<void(const ServedRequest&)>) {}

bool SimUpdateServer::Start(int) { return false; }

void SimUpdateServer::Stop() {}

int SimUpdateServer::Port() const { return 0; }

std::string SimUpdateServer::HostAndPort() const { return "127.0.0.1:0"; }

std::size_t SimUpdateServer::RequestCount() const { return 0; }

std::string SimUpdateServer::DatabaseTextFor(const std::string& serial) const {
    return impl_->provider(serial, impl_->options.records);
}
