#include "server/announcer.h"
#include "server/posix/address_interface_posix.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <memory>
#include <string>
#include <utility>

namespace pelmora::server {

namespace {

struct PollFree {
    void operator()(AvahiThreadedPoll* poll) const { avahi_threaded_poll_free(poll); }
};

struct StringListFree {
    void operator()(AvahiStringList* list) const { avahi_string_list_free(list); }
};

struct AvahiTextFree {
    void operator()(char* text) const { avahi_free(text); }
};

std::string Reason(int error) {
    return avahi_strerror(error);
}

// A socket on [::] takes IPv4 clients too; any other address is reached by its own protocol
// only, so the other protocol's records would lead clients where nothing listens.
AvahiProtocol ProtocolOf(const IpAddress& address) {
    if (!address.v6) {
        return AVAHI_PROTO_INET;
    }
    return address == IpAddress{true, {}} ? AVAHI_PROTO_UNSPEC : AVAHI_PROTO_INET6;
}

// The interface that holds the address, so that no other network hears of a service it cannot
// reach; every interface for a wildcard address.
AvahiIfIndex InterfaceOf(const IpAddress& address) {
    const auto index = InterfaceHolding(address);
    return index ? static_cast<AvahiIfIndex>(*index) : AVAHI_IF_UNSPEC;
}

std::unique_ptr<AvahiStringList, StringListFree> TxtRecords(const AnnouncedService& service) {
    AvahiStringList* list = nullptr;
    // Each addition goes in front: the last first keeps them in order.
    for (auto record = service.txt.rbegin(); record != service.txt.rend(); ++record) {
        list = avahi_string_list_add(list, record->c_str());
    }
    return std::unique_ptr<AvahiStringList, StringListFree>(list);
}

std::string ServiceList(const Announcement& announcement) {
    std::string text;
    for (const auto& service : announcement.services) {
        if (!text.empty()) {
            text += ", ";
        }
        text.append(service.type).append(" on port ").append(std::to_string(service.address.port));
    }
    return text;
}

// Through the Avahi daemon, over D-Bus. Avahi calls back on its own thread once that runs, and
// on the calling thread within avahi_client_new(); what the callbacks touch is theirs alone
// until the thread has been stopped.
class AvahiAnnouncer final : public Announcer {
public:
    AvahiAnnouncer(Announcement announcement, ServerLog& log)
        : m_announcement(std::move(announcement)), m_log(log), m_poll(avahi_threaded_poll_new()) {
        if (!m_poll) {
            m_log.Problem("not announced: " + Reason(AVAHI_ERR_NO_MEMORY));
            return;
        }
        Connect();
        if (m_client && avahi_threaded_poll_start(m_poll.get()) < 0) {
            m_log.Problem("not announced: Avahi's thread could not start");
        }
    }

    ~AvahiAnnouncer() override {
        if (m_poll) {
            avahi_threaded_poll_stop(m_poll.get());
        }
        // Its services go with it, and the daemon withdraws them from the network.
        if (m_client) {
            avahi_client_free(m_client);
        }
    }

    AvahiAnnouncer(const AvahiAnnouncer&) = delete;
    AvahiAnnouncer& operator=(const AvahiAnnouncer&) = delete;

private:
    static void OnClient(AvahiClient* client, AvahiClientState state, void* self) {
        static_cast<AvahiAnnouncer*>(self)->ClientChanged(client, state);
    }

    static void OnGroup(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
        static_cast<AvahiAnnouncer*>(self)->GroupChanged(group, state);
    }

    // Without a daemon the client waits for one to start; without D-Bus there is nothing to
    // wait on.
    void Connect() {
        int error = AVAHI_OK;
        m_client = avahi_client_new(avahi_threaded_poll_get(m_poll.get()), AVAHI_CLIENT_NO_FAIL,
                                    &OnClient, this, &error);
        if (!m_client) {
            m_log.Event("not announced: no Avahi daemon (" + Reason(error) + ")");
        }
    }

    void ClientChanged(AvahiClient* client, AvahiClientState state) {
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            m_waitTold = false;
            Publish(client);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The daemon is settling its host name; the services follow once it has.
            if (m_group) {
                avahi_entry_group_reset(m_group);
            }
            break;
        case AVAHI_CLIENT_CONNECTING:
            if (!m_waitTold) {
                m_log.Event("not announced: no Avahi daemon; announcing once one starts");
                m_waitTold = true;
            }
            break;
        case AVAHI_CLIENT_FAILURE:
            Failed(client);
            break;
        }
    }

    void Failed(AvahiClient* client) {
        const int error = avahi_client_errno(client);
        if (error != AVAHI_ERR_DISCONNECTED) {
            m_log.Problem("not announced: " + Reason(error));
            return;
        }
        m_log.Event("announcement withdrawn: the Avahi daemon went away; announcing again once "
                    "one starts");
        m_waitTold = true;
        // A client that lost its daemon stays lost: a new one waits for the next daemon.
        m_group = nullptr;
        avahi_client_free(client);
        m_client = nullptr;
        Connect();
    }

    void Publish(AvahiClient* client) {
        if (!m_group) {
            m_group = avahi_entry_group_new(client, &OnGroup, this);
            if (!m_group) {
                m_log.Problem("not announced: " + Reason(avahi_client_errno(client)));
                return;
            }
        }
        if (!avahi_entry_group_is_empty(m_group)) {
            return;
        }
        if (m_name.empty()) {
            const char* host = avahi_client_get_host_name(client);
            m_name = ServiceName(m_announcement.model, host ? host : "");
        }
        int error = AddServices();
        // Another program on this machine has the name: the daemon says so at once.
        while (error == AVAHI_ERR_COLLISION && Rename()) {
            avahi_entry_group_reset(m_group);
            error = AddServices();
        }
        if (error == AVAHI_OK) {
            error = avahi_entry_group_commit(m_group);
        }
        if (error != AVAHI_OK) {
            m_log.Problem("not announced: " + Reason(error));
            avahi_entry_group_reset(m_group);
        }
    }

    int AddServices() {
        for (const auto& service : m_announcement.services) {
            const auto txt = TxtRecords(service);
            const int error = avahi_entry_group_add_service_strlst(
                m_group, InterfaceOf(service.address.address), ProtocolOf(service.address.address),
                AvahiPublishFlags{}, m_name.c_str(), std::string(service.type).c_str(), nullptr,
                nullptr, service.address.port, txt.get());
            if (error != AVAHI_OK) {
                return error;
            }
        }
        return AVAHI_OK;
    }

    // "Pelmora DRELVOV99 on bench #2", as other DNS-SD programs rename theirs. False when no
    // memory was left for it.
    bool Rename() {
        const std::unique_ptr<char, AvahiTextFree> other(
            avahi_alternative_service_name(m_name.c_str()));
        if (!other) {
            return false;
        }
        m_name = other.get();
        return true;
    }

    void GroupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state) {
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            m_log.Event("announced as \"" + m_name + "\": " + ServiceList(m_announcement));
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            // Another machine on the network has the name.
            avahi_entry_group_reset(group);
            if (Rename()) {
                Publish(avahi_entry_group_get_client(group));
            }
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            m_log.Problem("not announced: " +
                          Reason(avahi_client_errno(avahi_entry_group_get_client(group))));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    }

    Announcement m_announcement;
    ServerLog& m_log;
    std::string m_name;
    std::unique_ptr<AvahiThreadedPoll, PollFree> m_poll;
    AvahiClient* m_client = nullptr;
    // The client's, and freed with it.
    AvahiEntryGroup* m_group = nullptr;
    // Waiting for a daemon has been logged: once is enough.
    bool m_waitTold = false;
};

} // namespace

std::unique_ptr<Announcer> StartAnnouncer(Announcement announcement, ServerLog& log) {
    return std::make_unique<AvahiAnnouncer>(std::move(announcement), log);
}

} // namespace pelmora::server
