-- Client update information. The client reads only the row with id -99: it refuses to run when
-- Client_Version is not below its own build number and then offers DownLoadURL.

CREATE TABLE sys_autoupdateinfo (
  id             INT           NOT NULL,
  Client_Version INT           NOT NULL DEFAULT 0,
  DownLoadURL    VARCHAR(1024) NOT NULL DEFAULT '',
  PRIMARY KEY (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Version 0 lets every released client build start; raise it to force an upgrade. The address is
-- the service's own download page; deployments replace it.
INSERT INTO sys_autoupdateinfo (id, Client_Version, DownLoadURL)
VALUES (-99, 0, 'http://localhost:8080/download/');
