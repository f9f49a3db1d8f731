-- The logon check the container runs right after opening a session: a role
-- that is not an application user is turned away with SQLSTATE 28000.
CREATE SCHEMA pk_connexion;
GRANT USAGE ON SCHEMA pk_connexion TO PUBLIC;

CREATE PROCEDURE pk_connexion.verifier()
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
  IF NOT pg_has_role(session_user, 'kup_utilisateur', 'MEMBER') THEN
    RAISE EXCEPTION 'L''utilisateur % n''est pas un utilisateur de Korvane', session_user
      USING ERRCODE = '28000';
  END IF;
END
$$;
GRANT EXECUTE ON PROCEDURE pk_connexion.verifier() TO PUBLIC;
