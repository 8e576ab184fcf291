# The stock NetworkManager template, plus profiles of any kind and activations
# and deactivations as the test decides (the stock ones need a device).
import dbus
import dbusmock
from dbusmock import MOCK_IFACE
from dbusmock.templates import networkmanager as nm
from dbusmock.templates.networkmanager import *  # noqa: F401,F403 (the stock mock methods)
from gi.repository import GLib

ACTIVATING, ACTIVATED, DEACTIVATING, DEACTIVATED = 1, 2, 3, 4
VPN = 'org.freedesktop.NetworkManager.VPN.Connection'  # VpnState: 3 needs a password, 5 up
MODES = {'activation': 'activate', 'deactivation': 'remove'}
COUNTER = [0]
HIDDEN = {}


def load(mock, parameters):
    nm.load(mock, parameters)
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    manager.activate_connection, manager.deactivate_connection = activate, deactivate


def set_state(path, state, iface=nm.ACTIVE_CONNECTION_IFACE, name='State'):
    dbusmock.get_object(path).Set(iface, name, dbus.UInt32(state))


def add_active(manager, profile, state):
    COUNTER[0] += 1
    path = nm.AddActiveConnection(manager, [], profile, '/', 'pim' + str(COUNTER[0]), state)
    dbusmock.get_object(path).AddProperties(VPN, {'VpnState': dbus.UInt32(5 if state == ACTIVATED else 1)})
    return path


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def DropActive(_self, path):
    set_state(path, DEACTIVATED)
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    active = manager.Get(nm.MANAGER_IFACE, 'ActiveConnections')
    if dbus.ObjectPath(path) in active:
        active.remove(dbus.ObjectPath(path))
        manager.SetProperty(nm.MANAGER_OBJ, nm.MANAGER_IFACE, 'ActiveConnections', active)
        manager.object_manager_emit_removed(path)
        manager.RemoveObject(path)


def activate(self, profile, _device, _specific):
    mode = MODES['activation']
    if mode == 'refuse':
        raise dbus.exceptions.DBusException('refused by the test',
                                            name='org.freedesktop.NetworkManager.UnknownConnection')
    path = add_active(self, profile, ACTIVATED if mode == 'activate' else ACTIVATING)
    if mode == 'fail':
        GLib.timeout_add(150, lambda: DropActive(None, path))
    elif mode == 'authenticate':
        set_state(path, 3, VPN, 'VpnState')
        GLib.timeout_add(400, lambda: set_state(path, 5, VPN, 'VpnState') or set_state(path, ACTIVATED))
    return dbus.ObjectPath(path)


def deactivate(_self, path):
    mode = MODES['deactivation']
    if mode == 'refuse':
        raise dbus.exceptions.DBusException('refused by the test',
                                            name='org.freedesktop.NetworkManager.ConnectionNotActive')
    if mode == 'stuck':
        set_state(path, DEACTIVATING)
    else:
        DropActive(None, path)


# activation: activate | fail | hang | refuse | authenticate; deactivation: remove | stuck | refuse
@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def SetBehaviour(_self, what, mode):
    MODES[str(what)] = str(mode)


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='s')
def AddProfile(_self, name, kind):
    return dbusmock.get_object(nm.SETTINGS_OBJ).SettingsAddConnection(
        {'connection': {'id': name, 'type': kind}})


@dbus.service.method(MOCK_IFACE, in_signature='su', out_signature='s')
def ActivateElsewhere(_self, profile, state):
    return add_active(dbusmock.get_object(nm.MANAGER_OBJ), profile, state)


# While failing, reading the active connections fails: the property is gone.
@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def FailReads(_self, fail):
    props = dbusmock.get_object(nm.MANAGER_OBJ).props[nm.MANAGER_IFACE]
    if fail:
        HIDDEN['active'] = props.pop('ActiveConnections')
    else:
        props['ActiveConnections'] = HIDDEN.pop('active')
