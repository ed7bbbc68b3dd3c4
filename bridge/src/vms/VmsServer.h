#pragma once

// The bridge's TCP server for the Orvanta video system: one I/O thread serving
// every connection on `local_port` (IPv4, any address).

#include "model/KorvelElement.h"

#include <boost/system/error_code.hpp>

#include <cstdint>
#include <memory>

class OrvantaConnection;

// Opens the acceptor on the low 16 bits of `local_port` (0: the system picks a
// port), starts the I/O thread and the first accept. False, logged with the
// port and the reason, when the port cannot be listened on.
bool start_vms_server();

// Takes the next connection. Runs on the I/O thread once the server has started.
void start_accept();

// Completion of an accept: the connection starts reading and the next accept
// begins (after a pause when the accept failed; none after cancellation).
void handle_accept(const std::shared_ptr<OrvantaConnection>& connection, const boost::system::error_code& error);

// Stops the I/O thread, then closes the acceptor and every open connection.
// Updates handed over afterwards are dropped.
void stop_vms_server();

// The port the running server listens on; 0 when it does not run.
uint16_t vms_server_port();

// Called on the station worker's thread after an element's level changed:
// every connection that has taken the full state gets the element's record as
// an update. `level` is the element's depth (2 object, 3 sensor).
void broadcast_update(const KorvelElementPtr& changed_element, uint8_t level);
