create procedure [dbo].[sp_MSdel_dboStock]
    @pkc1 int
as
begin
    declare @primarykey_text nvarchar(100) = '';
    delete [dbo].[Stock] where [StockID] = @pkc1;
    IF @@ROWCOUNT = 0
    BEGIN
        IF @@MICROSOFTVERSION > 0x07320000
        BEGIN
            EXEC sp_MSreplraiserror
                @errorid = 20598,
                @param1 = N'[dbo].[Stock]'; -- */ not a closer here
        END
    END
end
GO
create procedure [sp_MSdel_dboPeer]
	@pkc1 int
as
begin
	delete [dbo].[Peer] where [id] = @pkc1
if @@rowcount = 0
	return
end
GO
