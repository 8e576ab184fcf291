# NetworkManager busy at login: it owns its name and takes every call, but
# answers none until the test calls Answer; from then on it answers at once,
# until Hold. Its answers: the network down (State 20, Connectivity 1), and a
# LAN and two on-demand profiles. Test methods (interface org.freedesktop.DBus.Mock
# on its manager): Held (the calls waiting), Answer, Hold and SendStateChanged.

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NM = 'org.freedesktop.NetworkManager'
MANAGER = '/org/freedesktop/NetworkManager'
SETTINGS = MANAGER + '/Settings'
TEST = 'org.freedesktop.DBus.Mock'
PROFILES = [('有線', '802-3-ethernet'), ('社内VPN', 'vpn'), ('モバイル', 'gsm')]
HELD = []
ANSWERING = [False]


def later(call, answer):
    if ANSWERING[0]:
        answer()
    else:
        HELD.append((call, answer))


class Manager(dbus.service.Object):
    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v',
                         async_callbacks=('ok', 'error'))
    def Get(self, _interface, name, ok, error):
        later('Get ' + name, lambda: ok(dbus.UInt32({'State': 20, 'Connectivity': 1}[name])))

    @dbus.service.signal(NM, signature='u')
    def StateChanged(self, state):
        pass

    @dbus.service.method(TEST, in_signature='u', out_signature='')
    def SendStateChanged(self, state):
        self.StateChanged(state)

    @dbus.service.method(TEST, in_signature='', out_signature='as')
    def Held(self):
        return sorted(call for call, _ in HELD)

    @dbus.service.method(TEST, in_signature='', out_signature='')
    def Hold(self):
        ANSWERING[0] = False

    @dbus.service.method(TEST, in_signature='', out_signature='')
    def Answer(self):
        ANSWERING[0] = True
        for _, answer in HELD:
            answer()
        HELD.clear()


class Settings(dbus.service.Object):
    @dbus.service.method(NM + '.Settings', in_signature='', out_signature='ao',
                         async_callbacks=('ok', 'error'))
    def ListConnections(self, ok, error):
        later('ListConnections', lambda: ok([SETTINGS + '/' + str(i) for i in range(len(PROFILES))]))


class Connection(dbus.service.Object):
    def __init__(self, bus, index):
        super().__init__(bus, SETTINGS + '/' + str(index))
        self.index = index

    @dbus.service.method(NM + '.Settings.Connection', in_signature='', out_signature='a{sa{sv}}',
                         async_callbacks=('ok', 'error'))
    def GetSettings(self, ok, error):
        name, kind = PROFILES[self.index]
        later('GetSettings', lambda: ok({'connection': {'id': name, 'type': kind}}))


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()
objects = [Manager(bus, MANAGER), Settings(bus, SETTINGS)]
objects += [Connection(bus, i) for i in range(len(PROFILES))]
name = dbus.service.BusName(NM, bus)
GLib.MainLoop().run()
