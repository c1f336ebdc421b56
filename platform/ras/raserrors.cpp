#include "platform/ras/raserrors.h"

namespace raserrors {
namespace {

struct Row {
    uint32_t code;
    const char* text;
};

constexpr Row kTexts[] = {
    {600, "An operation is still pending."},
    {601, "The port handle is not valid."},
    {602, "The port is open already."},
    {603, "The buffer given is too small."},
    {604, "The information given is wrong."},
    {605, "The port information cannot be set."},
    {606, "The port is not connected."},
    {607, "The event is not valid."},
    {608, "The device does not exist."},
    {609, "The device type does not exist."},
    {610, "The buffer given is not valid."},
    {611, "The route is not available."},
    {612, "The route is not allocated."},
    {613, "The compression given is not valid."},
    {614, "There are not enough buffers."},
    {615, "The port was not found."},
    {616, "An asynchronous request is pending."},
    {617, "The port or device is disconnecting already."},
    {618, "The port is not open."},
    {619, "The port was disconnected."},
    {620, "No endpoints could be found."},
    {621, "The phonebook file cannot be opened."},
    {622, "The phonebook file cannot be loaded."},
    {623, "The phonebook entry cannot be found."},
    {624, "The phonebook file cannot be written."},
    {625, "The phonebook holds a value that cannot be read."},
    {626, "A text cannot be loaded."},
    {627, "A key cannot be found."},
    {628, "The connection was closed."},
    {629, "The connection was closed by the remote computer."},
    {630, "The modem was disconnected by a hardware failure."},
    {631, "The user disconnected the modem."},
    {632, "The size of a record given is wrong."},
    {633, "The modem is in use or not configured for dialling out."},
    {634, "The computer could not be registered on the remote network."},
    {635, "An unknown error occurred."},
    {636, "The device attached to the port is not the one expected."},
    {637, "A text was found that cannot be converted."},
    {638, "The request timed out."},
    {639, "No network adapter is available."},
    {640, "A network name service error occurred."},
    {641, "The server is out of resources."},
    {642, "The computer's name is in use on the remote network."},
    {643, "A network adapter at the server failed."},
    {644, "Network messages will not be received."},
    {645, "An internal authentication error occurred."},
    {646, "The account may not log on at this time of day."},
    {647, "The account is disabled."},
    {648, "The password has expired."},
    {649, "The account has no permission to dial in."},
    {650, "The remote access server is not responding."},
    {651, "The modem reported an error."},
    {652, "The modem gave a response that was not recognised."},
    {653, "A macro the device needs is missing from its section."},
    {654, "A command or response refers to a macro that is not defined."},
    {655, "The message macro is missing from the device's section."},
    {656, "The default-off macro holds an undefined macro."},
    {657, "The device's information file cannot be opened."},
    {658, "The device name is too long."},
    {659, "The device name was not found in the device's information file."},
    {660, "The device's information file has no responses for a command."},
    {661, "The device's information file is missing a command."},
    {662, "A key was set that the device's section does not list."},
    {663, "The device type is unknown."},
    {664, "Memory cannot be allocated."},
    {665, "The port is not configured for remote access."},
    {666, "The modem is not working or not ready."},
    {667, "The device's information file cannot be read."},
    {668, "The connection is gone."},
    {669, "The usage parameter in the device's information file is wrong."},
    {670, "A section name cannot be read."},
    {671, "The device type cannot be read."},
    {672, "The device name cannot be read."},
    {673, "The usage cannot be read."},
    {674, "The maximum connection speed cannot be read."},
    {675, "The maximum carrier speed cannot be read."},
    {676, "The line is busy."},
    {677, "A person answered instead of a modem."},
    {678, "There was no answer."},
    {679, "No carrier was detected."},
    {680, "There is no dial tone."},
    {681, "The modem reported a general error."},
    {682, "A section name cannot be written."},
    {683, "The device type cannot be written."},
    {684, "The device name cannot be written."},
    {685, "The maximum connection speed cannot be written."},
    {686, "The maximum carrier speed cannot be written."},
    {687, "The usage cannot be written."},
    {688, "The default-off setting cannot be written."},
    {689, "The default-off setting cannot be read."},
    {690, "The device's information file is empty."},
    {691, "The user name or password was not accepted by the remote computer."},
    {730, "The connection's network settings are not complete yet."},
};

}  // namespace

const char* text(uint32_t code) noexcept
{
    for (const Row& r : kTexts) {
        if (r.code == code) return r.text;
    }
    return nullptr;
}

}  // namespace raserrors
