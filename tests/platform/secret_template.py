# A keyring holding one locked item, whose unlock prompt cannot be shown (the
# Prompt call fails), and that hands the item's secret to whoever asks for it.
import dbus

BUS_NAME = 'org.freedesktop.secrets'
MAIN_OBJ = '/org/freedesktop/secrets'
MAIN_IFACE = 'org.freedesktop.Secret.Service'
SYSTEM_BUS = False
ITEM = MAIN_OBJ + '/collection/login/1'


def load(mock, _parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('SearchItems', 'a{ss}', 'aoao', 'ret = ([], [dbus.ObjectPath(%r)])' % ITEM),
        ('Unlock', 'ao', 'aoo', "ret = ([], dbus.ObjectPath('/prompt'))"),
        ('OpenSession', 'sv', 'vo', "ret = (dbus.String('', variant_level=1), '/session')")])
    mock.AddObject('/prompt', 'org.freedesktop.Secret.Prompt', {}, [
        ('Prompt', 's', '', "raise dbus.exceptions.DBusException('no display', "
                            "name='org.freedesktop.DBus.Error.Failed')")])
    mock.AddObject(ITEM, 'org.freedesktop.Secret.Item', {}, [
        ('GetSecret', 'o', '(oayays)', "ret = (args[0], b'', b'secret', 'text/plain')")])
