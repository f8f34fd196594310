package compat.lib;

import java.sql.Connection;
import java.sql.Driver;
import java.sql.DriverManager;
import java.sql.DriverPropertyInfo;
import java.sql.SQLException;
import java.util.Properties;
import java.util.logging.Logger;

/**
 * A JDBC driver found through META-INF/services/java.sql.Driver, which registers itself when
 * loaded, as drivers do; it connects to nothing.
 */
public final class CompatDriver implements Driver {
    static {
        try {
            DriverManager.registerDriver(new CompatDriver());
        } catch (SQLException refused) {
            throw new ExceptionInInitializerError(refused);
        }
    }

    @Override
    public Connection connect(String url, Properties info) {
        return null;
    }

    @Override
    public boolean acceptsURL(String url) {
        return url.startsWith("jdbc:compat:");
    }

    @Override
    public DriverPropertyInfo[] getPropertyInfo(String url, Properties info) {
        return new DriverPropertyInfo[0];
    }

    @Override
    public int getMajorVersion() {
        return 1;
    }

    @Override
    public int getMinorVersion() {
        return 0;
    }

    @Override
    public boolean jdbcCompliant() {
        return false;
    }

    @Override
    public Logger getParentLogger() {
        return Logger.getLogger("compat");
    }
}
