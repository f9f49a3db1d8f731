-- The logon check the container runs right after opening a session: a role
-- that is not an application user is turned away with SQLSTATE 28000. It
-- runs with the rights of the one who logs on: reading role membership
-- needs no more.
CREATE SCHEMA IF NOT EXISTS pk_connexion;
GRANT USAGE ON SCHEMA pk_connexion TO PUBLIC;

CREATE OR REPLACE PROCEDURE pk_connexion.verifier()
LANGUAGE plpgsql SECURITY INVOKER SET search_path = pg_catalog AS $$
BEGIN
  IF NOT pg_has_role(session_user, 'kup_utilisateur', 'MEMBER') THEN
    RAISE EXCEPTION 'L''utilisateur % n''est pas un utilisateur de Korvane', session_user
      USING ERRCODE = '28000';
  END IF;
END
$$;
-- Everyone who may log on runs it, so that an outsider gets its refusal.
GRANT EXECUTE ON PROCEDURE pk_connexion.verifier() TO PUBLIC;
